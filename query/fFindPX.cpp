#include "fFindPX.h"
#include "ui_fFindPX.h"

#include "f1PX.h"

#include <QPointer>

namespace {

QPointer<fFindPX> theInstance;

QueryDescription trainingQuery() {
    QueryDescription d;
    d.table = QStringLiteral("PeiXun");
    d.keyColumn = QStringLiteral("编号");
    d.criteria = {
        {QStringLiteral("txtMingCheng"), QStringLiteral("姓名"), true},
        {QStringLiteral("cboSex"), QStringLiteral("性别"), false},
        {QStringLiteral("txtShenFeiZheng"), QStringLiteral("身份证号"), true},
        {QStringLiteral("txtDanWei"), QStringLiteral("生产经营单位"), true},
        {QStringLiteral("cboWenHua"), QStringLiteral("文化程度"), true},
        {QStringLiteral("txtZSHB"), QStringLiteral("证书号码"), true},
        {QStringLiteral("txtBeiZhu"), QStringLiteral("备注"), true},
    };
    d.ranges = {
        {QStringLiteral("cekyishen"), QStringLiteral("DTPYS1"), QStringLiteral("DTPYS2"),
         QStringLiteral("一次复审")},
        {QStringLiteral("cekershen"), QStringLiteral("DTPES1"), QStringLiteral("DTPES2"),
         QStringLiteral("二次复审")},
        {QStringLiteral("cekhz"), QStringLiteral("DTPHZ1"), QStringLiteral("DTPHZ2"),
         QStringLiteral("换证日期")},
    };
    d.orderBy = QStringLiteral("证书号码,生产经营单位,编号");
    d.listTag = QStringLiteral("安全生产负责人培训资料查询结果");
    d.largeResultTitle = QStringLiteral("安全生产负责人培训资料查询结果");
    // The pickers keep their design dates, at load and when the criteria are cleared.
    d.clearedBoxes = {QStringLiteral("txtBanHao"),       QStringLiteral("txtMingCheng"),
                      QStringLiteral("txtShenFeiZheng"), QStringLiteral("txtDanWei"),
                      QStringLiteral("txtZSHB"),         QStringLiteral("txtBeiZhu"),
                      QStringLiteral("cboSex"),          QStringLiteral("cboWenHua")};
    d.optionLists = {{QStringLiteral("cboWenHua"), QStringLiteral("文化程度")}};
    return d;
}

} // namespace

fFindPX* fFindPX::instance() {
    if (!theInstance) theInstance = new fFindPX;
    return theInstance;
}

fFindPX::fFindPX(QWidget* parent) : QueryForm(parent), ui(new Ui::fFindPX) {
    ui->setupUi(this);
    ui->tbsOptions->addTab(QStringLiteral("基本资料"));
    setUpQuery(trainingQuery());
}

fFindPX::~fFindPX() {
    delete ui;
}

EntryForm* fFindPX::entryForm() { return f1PX::instance(); }
