#include "fFindCZZ.h"
#include "ui_fFindCZZ.h"

#include "f1CZZ.h"

#include <QPointer>

namespace {

QPointer<fFindCZZ> theInstance;

QueryDescription operationCertificateQuery() {
    QueryDescription d;
    d.table = QStringLiteral("CaoZuoZheng");
    // A fixed list: the photo never reaches the result, and 换证日期 is only a criterion.
    d.selectList = QStringLiteral("证号,姓名,性别,身份证号,住址,联系电话,作业类别,操作项目,初次领证,一次复审,"
                                  "二次复审,受理日期,其它,备注");
    d.keyColumn = QStringLiteral("证号");
    d.criteria = {
        {QStringLiteral("txtMingCheng"), QStringLiteral("姓名"), true},
        {QStringLiteral("cboSex"), QStringLiteral("性别"), false},
        {QStringLiteral("txtDianHua"), QStringLiteral("联系电话"), true},
        {QStringLiteral("txtDiZhi"), QStringLiteral("住址"), true},
        {QStringLiteral("cboLeiBue"), QStringLiteral("作业类别"), true},
        {QStringLiteral("txtXiangMu"), QStringLiteral("操作项目"), true},
        {QStringLiteral("txtQiTa"), QStringLiteral("其它"), true},
    };
    d.ranges = {
        {QStringLiteral("cekShouLi"), QStringLiteral("dtp1"), QStringLiteral("dtp2"),
         QStringLiteral("受理日期")},
        {QStringLiteral("cekChuCi"), QStringLiteral("dtpChuCi1"), QStringLiteral("dtpChuCi2"),
         QStringLiteral("初次领证")},
        {QStringLiteral("cekYiShen"), QStringLiteral("dtpYiShen1"), QStringLiteral("dtpYiShen2"),
         QStringLiteral("一次复审")},
        {QStringLiteral("cekershen"), QStringLiteral("DTPES1"), QStringLiteral("DTPES2"),
         QStringLiteral("二次复审")},
        {QStringLiteral("cekhz"), QStringLiteral("DTPHZ1"), QStringLiteral("DTPHZ2"),
         QStringLiteral("换证日期")},
    };
    d.orderBy = QStringLiteral("证号,受理日期");
    d.listTag = QStringLiteral("CaoZuoZheng查询结果");
    d.largeResultTitle = QStringLiteral("操作证查询结果");
    d.todayAtLoad = {QStringLiteral("dtp2"), QStringLiteral("dtpChuCi2"), QStringLiteral("dtpYiShen2")};
    d.clearedBoxes = {QStringLiteral("txtBanHao"),  QStringLiteral("txtMingCheng"),
                      QStringLiteral("txtDianHua"), QStringLiteral("txtDiZhi"),
                      QStringLiteral("txtXiangMu"), QStringLiteral("txtQiTa"),
                      QStringLiteral("cboSex"),     QStringLiteral("cboLeiBue")};
    d.clearedToStart = {QStringLiteral("dtp1"), QStringLiteral("dtpChuCi1"), QStringLiteral("dtpYiShen1")};
    d.clearedToToday = {QStringLiteral("dtp2"), QStringLiteral("dtpChuCi2"), QStringLiteral("dtpYiShen2")};
    d.optionLists = {{QStringLiteral("cboLeiBue"), QStringLiteral("作业类别")}};
    return d;
}

} // namespace

fFindCZZ* fFindCZZ::instance() {
    if (!theInstance) theInstance = new fFindCZZ;
    return theInstance;
}

fFindCZZ::fFindCZZ(QWidget* parent) : QueryForm(parent), ui(new Ui::fFindCZZ) {
    ui->setupUi(this);
    ui->tbsOptions->addTab(QStringLiteral("基本资料"));
    setUpQuery(operationCertificateQuery());
}

fFindCZZ::~fFindCZZ() {
    delete ui;
}

EntryForm* fFindCZZ::entryForm() { return f1CZZ::instance(); }
