#include "fToList.h"
#include "ui_fToList.h"

#include "basGlobal.h"
#include "ErrorTraps.h"
#include "fPView.h"
#include "settings.h"
#include "WindowHost.h"

#include <optional>
#include <QKeyEvent>
#include <QLabel>
#include <QPointer>

namespace {

const QString kSection = QStringLiteral("ListOut");
// A plain table name is shorter than this; longer sources are statements, keyed by their title.
constexpr int kLongestTableName = 10;

QPointer<fToList> theInstance;

// "True"/"False" as stored; a number counts as a tick when not 0; nullopt for anything else.
std::optional<bool> storedTick(const QString& text) {
    const QString value = text.trimmed();
    if (value.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0) return true;
    if (value.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0) return false;
    bool isNumber = false;
    const double number = value.toDouble(&isNumber);
    if (isNumber) return number != 0;
    return std::nullopt;
}

} // namespace

QString ColumnChoicePrefix(const QString& source, const QString& title) {
    return source.size() <= kLongestTableName ? source : title;
}

bool SavedColumnTick(const QString& prefix, int index) {
    return storedTick(GetSetting(ExeName(), kSection, prefix + QString::number(index), QStringLiteral("True")))
        .value_or(true);
}

fToList* fToList::instance() {
    if (!theInstance) theInstance = new fToList(mainWindow());
    return theInstance;
}

fToList::fToList(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::fToList>()) {
    ui->setupUi(this);
    connect(this, &QDialog::finished, this, &QObject::deleteLater);
    connect(ui->cmdAllSel, &QPushButton::clicked, this, [this] { DoSel(true); });
    connect(ui->cmdClear, &QPushButton::clicked, this, [this] { DoSel(false); });
    connect(ui->CmdList, &QPushButton::clicked, this, &fToList::CmdList_Click);
    connect(ui->CmdOk, &QPushButton::clicked, this, &fToList::CmdOk_Click);
    connect(ui->CmdCanCel, &QPushButton::clicked, this, &fToList::CmdCanCel_Click);
    connect(ui->cmdSave, &QPushButton::clicked, this, &fToList::cmdSave_Click);
    connect(ui->cmdGet, &QPushButton::clicked, this, &fToList::cmdGet_Click);

    ui->Lst->clear();
    if (ownerIsListWindow())
        SkipOnError([&] {
            if (const RecordsetPtr& records = fPView::instance()->rFill) DoAddFieldName(*records);
        });
}

fToList::~fToList() = default;

bool fToList::ownerIsListWindow() const {
    return gListOwner == QLatin1String("fPView");
}

void fToList::DoSel(bool bSel) {
    for (int i = 0; i < ui->Lst->count(); ++i)
        ui->Lst->item(i)->setCheckState(bSel ? Qt::Checked : Qt::Unchecked);
}

bool fToList::DoAddFieldName(Recordset& R) {
    const int n = R.FieldCount();
    if (gHideCol.size() - 1 < n) resetHiddenColumns(n + 1);
    for (int i = 0; i < n; ++i) {
        auto* item = new QListWidgetItem(R.Fields(i).Name(), ui->Lst);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(gHideCol[i] ? Qt::Unchecked : Qt::Checked);
    }
    return true;
}

QString fToList::keyPrefix() const {
    fPView* view = fPView::instance();
    QString source;
    SkipOnError([&] {
        if (view->rFill) source = view->rFill->Source();
    });
    return ColumnChoicePrefix(source, view->LblTitle[1]->text());
}

void fToList::CmdList_Click() {
    for (int i = 0; i < ui->Lst->count() && i < gHideCol.size(); ++i)
        gHideCol[i] = ui->Lst->item(i)->checkState() != Qt::Checked;
    if (!ownerIsListWindow()) return;
    fPView* view = fPView::instance();
    view->bXuHao = ui->cekXuHao->isChecked();
    view->doListFill();
}

void fToList::CmdOk_Click() {
    CmdList_Click();
    accept();
}

void fToList::CmdCanCel_Click() {
    reject();
}

void fToList::cmdSave_Click() {
    const QString prefix = keyPrefix();
    for (int i = 0; i < ui->Lst->count(); ++i) {
        const bool ticked = ui->Lst->item(i)->checkState() == Qt::Checked;
        SkipOnError([&] {
            SaveSetting(ExeName(), kSection, prefix + QString::number(i),
                        ticked ? QStringLiteral("True") : QStringLiteral("False"));
        });
    }
}

void fToList::cmdGet_Click() {
    const QString prefix = keyPrefix();
    for (int i = 0; i < ui->Lst->count(); ++i) {
        const auto tick =
            storedTick(GetSetting(ExeName(), kSection, prefix + QString::number(i), QStringLiteral("True")));
        if (tick) ui->Lst->item(i)->setCheckState(*tick ? Qt::Checked : Qt::Unchecked);
    }
}

void fToList::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        ui->cmdGet->click();
        return;
    }
    QDialog::keyPressEvent(event);
}
