#include "fFindZS.h"
#include "ui_fFindZS.h"

#include "f1ZS.h"

#include <QPointer>

namespace {

QPointer<fFindZS> theInstance;

QueryDescription certificateQuery() {
    QueryDescription d;
    d.table = QStringLiteral("DangAnKu");
    d.keyColumn = QStringLiteral("证号");
    d.criteria = {
        {QStringLiteral("txtMingCheng"), QStringLiteral("姓名"), true},
        {QStringLiteral("cboSex"), QStringLiteral("性别"), false},
        {QStringLiteral("txtShenFeiZheng"), QStringLiteral("身份证号"), true},
        {QStringLiteral("cboWenHua"), QStringLiteral("文化程度"), true},
        {QStringLiteral("cboJiBue"), QStringLiteral("证书级别"), false},
        {QStringLiteral("txtZSBH"), QStringLiteral("证书编号"), true},
        {QStringLiteral("txtBeiZhu"), QStringLiteral("备注"), true},
    };
    d.ranges = {
        {QStringLiteral("cekChuSheng"), QStringLiteral("dtp1"), QStringLiteral("dtp2"),
         QStringLiteral("出生年月")},
        {QStringLiteral("cekFazheng"), QStringLiteral("dtpFZ1"), QStringLiteral("dtpFZ2"),
         QStringLiteral("发证日期")},
        {QStringLiteral("cekyishen"), QStringLiteral("DTPYS1"), QStringLiteral("DTPYS2"),
         QStringLiteral("一次复审")},
        {QStringLiteral("cekershen"), QStringLiteral("DTPES1"), QStringLiteral("DTPES2"),
         QStringLiteral("二次复审")},
        {QStringLiteral("cekhz"), QStringLiteral("DTPHZ1"), QStringLiteral("DTPHZ2"),
         QStringLiteral("换证日期")},
    };
    d.orderBy = QStringLiteral("证号,发证日期");
    d.listTag = QStringLiteral("证书查查询结果");
    d.largeResultTitle = QStringLiteral("证书查询结果");
    d.todayAtLoad = {QStringLiteral("dtp2"), QStringLiteral("dtpFZ2")};
    d.clearedBoxes = {QStringLiteral("txtBanHao"),       QStringLiteral("txtMingCheng"),
                      QStringLiteral("txtShenFeiZheng"), QStringLiteral("txtZSBH"),
                      QStringLiteral("txtBeiZhu"),       QStringLiteral("cboSex"),
                      QStringLiteral("cboWenHua"),       QStringLiteral("cboJiBue")};
    d.clearedToStart = {QStringLiteral("dtp1")};
    d.clearedToToday = {QStringLiteral("dtp2"), QStringLiteral("dtpFZ2")};
    d.optionLists = {{QStringLiteral("cboWenHua"), QStringLiteral("文化程度")},
                     {QStringLiteral("cboJiBue"), QStringLiteral("证书级别")}};
    return d;
}

} // namespace

fFindZS* fFindZS::instance() {
    if (!theInstance) theInstance = new fFindZS;
    return theInstance;
}

fFindZS::fFindZS(QWidget* parent) : QueryForm(parent), ui(new Ui::fFindZS) {
    ui->setupUi(this);
    ui->tbsOptions->addTab(QStringLiteral("基本资料"));
    setUpQuery(certificateQuery());
}

fFindZS::~fFindZS() {
    delete ui;
}

EntryForm* fFindZS::entryForm() { return f1ZS::instance(); }
