#include "RegisterCatalog.h"

namespace {

QVector<WalkStep> unmarkedSteps(const QStringList& controls) {
    QVector<WalkStep> steps;
    for (const QString& control : controls)
        steps.append({control, WalkStep::Unmarked});
    return steps;
}

QVector<ClearRule> emptied(const QStringList& controls) {
    QVector<ClearRule> rules;
    for (const QString& control : controls)
        rules.append({control, ClearRule::EmptyText});
    return rules;
}

const QDate kFirstIssueStart(2000, 1, 1);

// Every register starts a new record with no sex chosen and no review or renewal date: a date the
// operator did not enter would list the record as overdue or due today.
QVector<ClearRule> newRecordRules() {
    return {{QStringLiteral("cboSex"), ClearRule::NoSelection},
            {QStringLiteral("dtpYiShen"), ClearRule::NoDate},
            {QStringLiteral("dtpErShen"), ClearRule::NoDate},
            {QStringLiteral("DTPHZ"), ClearRule::NoDate}};
}

RegisterDef buildCertificate() {
    RegisterDef r;
    r.table = QStringLiteral("DangAnKu");
    r.keyColumn = QStringLiteral("证号");
    r.secondLocateColumn = QStringLiteral("证书编号");
    r.locatePrompt = QStringLiteral("输入要查找的证号或证书编号:");
    r.counterKey = QStringLiteral("证书证号");
    r.listTitle = QStringLiteral("证书信息列表");
    r.caption = QStringLiteral("证书资料录入");
    r.cardTitle = QStringLiteral("证书资料卡");
    r.fields = {{QStringLiteral("证号"), QStringLiteral("txtBanHao")},
                {QStringLiteral("姓名"), QStringLiteral("txtMingCheng")},
                {QStringLiteral("性别"), QStringLiteral("cboSex")},
                {QStringLiteral("出生年月"), QStringLiteral("dtpChuSheng")},
                {QStringLiteral("照片"), QStringLiteral("imgZhaoPian")},
                {QStringLiteral("身份证号"), QStringLiteral("txtSfz")},
                {QStringLiteral("理论成绩"), QStringLiteral("txtLiLun")},
                {QStringLiteral("证书编号"), QStringLiteral("txtZSBH")},
                {QStringLiteral("文化程度"), QStringLiteral("cboWenHua")},
                {QStringLiteral("实操成绩"), QStringLiteral("txtShiCao")},
                {QStringLiteral("评定成绩"), QStringLiteral("txtPingDing")},
                {QStringLiteral("发证日期"), QStringLiteral("dtpFZ")},
                {QStringLiteral("一次复审"), QStringLiteral("dtpYiShen")},
                {QStringLiteral("二次复审"), QStringLiteral("dtpErShen")},
                {QStringLiteral("换证日期"), QStringLiteral("DTPHZ")},
                {QStringLiteral("职业工种"), QStringLiteral("cboGongZhong")},
                {QStringLiteral("证书级别"), QStringLiteral("cboZSJB")},
                {QStringLiteral("备注"), QStringLiteral("txtBeiZhu")}};
    r.optionCombos = {{QStringLiteral("文化程度"), QStringLiteral("cboWenHua")},
                      {QStringLiteral("职业工种"), QStringLiteral("cboGongZhong")},
                      {QStringLiteral("证书级别"), QStringLiteral("cboZSJB")}};
    r.walk = {{QStringLiteral("txtBanHao"), WalkStep::Empty, WalkStep::NextNumber},
              {QStringLiteral("txtMingCheng"), WalkStep::Empty},
              {QStringLiteral("cboSex"), WalkStep::Unmarked, WalkStep::Male}};
    r.walk +=
        unmarkedSteps({QStringLiteral("dtpChuSheng"), QStringLiteral("txtSfz"), QStringLiteral("cboWenHua"),
                       QStringLiteral("dtpFZ"), QStringLiteral("txtZSBH"), QStringLiteral("cboGongZhong"),
                       QStringLiteral("txtLiLun"), QStringLiteral("txtShiCao"), QStringLiteral("txtPingDing"),
                       QStringLiteral("cboZSJB"), QStringLiteral("txtBeiZhu"), QStringLiteral("dtpYiShen"),
                       QStringLiteral("dtpErShen"), QStringLiteral("DTPHZ")});
    r.clearRules =
        emptied({QStringLiteral("txtBanHao"), QStringLiteral("txtMingCheng"), QStringLiteral("txtSfz"),
                 QStringLiteral("txtZSBH"), QStringLiteral("txtLiLun"), QStringLiteral("txtShiCao"),
                 QStringLiteral("txtPingDing"), QStringLiteral("txtBeiZhu"), QStringLiteral("cboWenHua"),
                 QStringLiteral("cboGongZhong")});
    r.clearRules += newRecordRules();
    r.imeOnControls = {QStringLiteral("txtMingCheng"), QStringLiteral("txtZSBH")};
    r.imeOffControls = {QStringLiteral("txtBanHao"), QStringLiteral("txtLiLun")};
    return r;
}

RegisterDef buildOperationCertificate() {
    RegisterDef r;
    r.table = QStringLiteral("CaoZuoZheng");
    r.keyColumn = QStringLiteral("证号");
    r.secondLocateColumn = QStringLiteral("姓名");
    r.locatePrompt = QStringLiteral("输入要查找的证号或名称:");
    r.counterKey = QStringLiteral("证号");
    r.listTitle = QStringLiteral("操作证信息列表");
    r.caption = QStringLiteral("作业证/操作证资料录入");
    r.cardTitle = QStringLiteral("操作证资料卡");
    r.fields = {{QStringLiteral("证号"), QStringLiteral("txtBanHao")},
                {QStringLiteral("姓名"), QStringLiteral("txtMingCheng")},
                {QStringLiteral("性别"), QStringLiteral("cboSex")},
                {QStringLiteral("出生年月"), QStringLiteral("dtpChuSheng")},
                {QStringLiteral("照片"), QStringLiteral("imgZhaoPian")},
                {QStringLiteral("身份证号"), QStringLiteral("txtSfz")},
                {QStringLiteral("联系电话"), QStringLiteral("txtDianHua")},
                {QStringLiteral("住址"), QStringLiteral("txtDiZhi")},
                {QStringLiteral("作业类别"), QStringLiteral("cboLeiBue")},
                {QStringLiteral("操作项目"), QStringLiteral("txtXiangMu")},
                {QStringLiteral("其它"), QStringLiteral("txtQiTa")},
                {QStringLiteral("初次领证"), QStringLiteral("dtpChuCi")},
                {QStringLiteral("一次复审"), QStringLiteral("dtpYiShen")},
                {QStringLiteral("二次复审"), QStringLiteral("dtpErShen")},
                {QStringLiteral("受理日期"), QStringLiteral("dtpShouLi")},
                {QStringLiteral("换证日期"), QStringLiteral("DTPHZ")},
                {QStringLiteral("备注"), QStringLiteral("txtBeiZhu")}};
    r.optionCombos = {{QStringLiteral("作业类别"), QStringLiteral("cboLeiBue")}};
    r.walk = {{QStringLiteral("txtBanHao"), WalkStep::Unmarked, WalkStep::NextNumber},
              {QStringLiteral("txtBanHao"), WalkStep::Empty, WalkStep::NextNumber},
              {QStringLiteral("txtMingCheng"), WalkStep::Empty},
              {QStringLiteral("cboSex"), WalkStep::Unmarked, WalkStep::Male}};
    r.walk +=
        unmarkedSteps({QStringLiteral("dtpChuSheng"), QStringLiteral("txtSfz"), QStringLiteral("txtDiZhi"),
                       QStringLiteral("txtDianHua"), QStringLiteral("cboLeiBue"),
                       QStringLiteral("txtXiangMu"), QStringLiteral("txtQiTa"), QStringLiteral("dtpChuCi"),
                       QStringLiteral("dtpYiShen"), QStringLiteral("dtpErShen"), QStringLiteral("dtpShouLi"),
                       QStringLiteral("DTPHZ"), QStringLiteral("txtBeiZhu")});
    r.clearRules =
        emptied({QStringLiteral("txtBanHao"), QStringLiteral("txtMingCheng"), QStringLiteral("txtSfz"),
                 QStringLiteral("txtDiZhi"), QStringLiteral("txtDianHua"), QStringLiteral("txtXiangMu"),
                 QStringLiteral("txtQiTa"), QStringLiteral("txtBeiZhu")});
    r.clearRules += newRecordRules();
    r.clearRules += {{QStringLiteral("cboLeiBue"), ClearRule::NoSelection},
                     {QStringLiteral("dtpChuSheng"), ClearRule::FixedDate, QDate(1980, 1, 1)},
                     {QStringLiteral("dtpChuCi"), ClearRule::FixedDate, kFirstIssueStart},
                     {QStringLiteral("dtpShouLi"), ClearRule::Today}};
    r.imeOnControls = {QStringLiteral("txtMingCheng"), QStringLiteral("txtDiZhi")};
    r.imeOffControls = {QStringLiteral("txtBanHao"), QStringLiteral("txtDianHua")};
    r.proposeKeyWithFocus = false;
    r.nameFilledColumn = QStringLiteral("其它");
    return r;
}

RegisterDef buildTraining() {
    RegisterDef r;
    r.table = QStringLiteral("PeiXun");
    r.keyColumn = QStringLiteral("编号");
    r.secondLocateColumn = QStringLiteral("证书号码");
    r.locatePrompt = QStringLiteral("输入要查找的证号或证书号码:");
    r.counterKey = QStringLiteral("培训证号");
    r.listTitle = QStringLiteral("安全生产负责人培训资料列表");
    r.caption = QStringLiteral("安全生产负责人培训资料录入");
    r.cardTitle = QStringLiteral("安全生产负责人培训资料卡");
    r.fields = {{QStringLiteral("编号"), QStringLiteral("txtBanHao")},
                {QStringLiteral("姓名"), QStringLiteral("txtMingCheng")},
                {QStringLiteral("性别"), QStringLiteral("cboSex")},
                {QStringLiteral("证书号码"), QStringLiteral("txtZSHB")},
                {QStringLiteral("照片"), QStringLiteral("imgZhaoPian")},
                {QStringLiteral("身份证号"), QStringLiteral("txtSfz")},
                {QStringLiteral("电话号码"), QStringLiteral("txtDianHua")},
                {QStringLiteral("生产经营单位"), QStringLiteral("txtDanWei")},
                {QStringLiteral("文化程度"), QStringLiteral("cboWenHua")},
                {QStringLiteral("职务"), QStringLiteral("cboZhiWu")},
                {QStringLiteral("理论成绩"), QStringLiteral("txtLiLun")},
                {QStringLiteral("复审记录"), QStringLiteral("txtMoLian")},
                {QStringLiteral("一次复审"), QStringLiteral("dtpYiShen")},
                {QStringLiteral("二次复审"), QStringLiteral("dtpErShen")},
                {QStringLiteral("换证日期"), QStringLiteral("DTPHZ")},
                {QStringLiteral("备注"), QStringLiteral("txtBeiZhu")}};
    r.optionCombos = {{QStringLiteral("文化程度"), QStringLiteral("cboWenHua")},
                      {QStringLiteral("职务"), QStringLiteral("cboZhiWu")}};
    r.walk = {{QStringLiteral("txtBanHao"), WalkStep::Empty, WalkStep::NextNumber},
              {QStringLiteral("txtZSHB"), WalkStep::Unmarked},
              {QStringLiteral("txtMingCheng"), WalkStep::Empty},
              {QStringLiteral("cboSex"), WalkStep::Unmarked, WalkStep::Male}};
    r.walk +=
        unmarkedSteps({QStringLiteral("txtSfz"), QStringLiteral("txtDanWei"), QStringLiteral("txtDianHua"),
                       QStringLiteral("cboWenHua"), QStringLiteral("cboZhiWu"), QStringLiteral("txtLiLun"),
                       QStringLiteral("txtMoLian"), QStringLiteral("dtpYiShen"), QStringLiteral("dtpErShen"),
                       QStringLiteral("DTPHZ"), QStringLiteral("txtBeiZhu")});
    r.clearRules =
        emptied({QStringLiteral("txtBanHao"), QStringLiteral("txtMingCheng"), QStringLiteral("txtSfz"),
                 QStringLiteral("txtDanWei"), QStringLiteral("txtDianHua"), QStringLiteral("cboWenHua"),
                 QStringLiteral("txtZSHB"), QStringLiteral("txtMoLian"), QStringLiteral("cboZhiWu"),
                 QStringLiteral("txtBeiZhu")});
    r.clearRules += newRecordRules();
    r.marksKept = {QStringLiteral("txtLiLun")};
    r.imeOnControls = {QStringLiteral("txtMingCheng"), QStringLiteral("txtDanWei")};
    r.imeOffControls = {QStringLiteral("txtBanHao"), QStringLiteral("txtDianHua")};
    return r;
}

} // namespace

QString RegisterDef::controlOf(const QString& column) const {
    for (const BoundField& f : fields)
        if (f.column == column) return f.control;
    return {};
}

QString RegisterDef::columnOf(const QString& control) const {
    for (const BoundField& f : fields)
        if (f.control == control) return f.column;
    return {};
}

const RegisterDef& certificateRegister() {
    static const RegisterDef r = buildCertificate();
    return r;
}

const RegisterDef& operationCertificateRegister() {
    static const RegisterDef r = buildOperationCertificate();
    return r;
}

const RegisterDef& trainingRegister() {
    static const RegisterDef r = buildTraining();
    return r;
}

const RegisterDef* registerOfTable(const QString& table) {
    for (const RegisterDef* r :
         {&certificateRegister(), &operationCertificateRegister(), &trainingRegister()})
        if (r->table.compare(table, Qt::CaseInsensitive) == 0) return r;
    return nullptr;
}
