#pragma once
// The shared design of the three entry forms: one record at a time, a guided Enter-key walk for
// new records, automatic numbering, edit, delete, locate and a photo. Each form adds its layout
// (.ui) and the windows it opens; everything else comes from its register description.

#include "adodb.h"
#include "RecordCard.h"
#include "RegisterCatalog.h"

#include <optional>
#include <QHash>
#include <QList>
#include <QRect>
#include <QWidget>

class QPushButton;
class QLabel;
class PhotoBox;

class EntryForm : public QWidget {
    Q_OBJECT

public:
    enum Mode { Browsing = 0, Adding = 1, Editing = 2 };

    ~EntryForm() override;

    bool CheckEnabled();
    bool bFind(const QString& sFind);
    bool UpdateField();
    void Splash();
    void GetMaxNum();
    void ControlsEnabled(bool bEnabled);
    void ClearTag();
    void ClearTxt();

    double nMaxNum() const { return m_nMaxNum; }
    RecordsetPtr rMain() const { return m_rMain; }
    // The record shown, as its printed card: every field with the form's label, and the photo.
    RecordCard shownCard() const;
    // The card 打 印 prints: the record shown with its verification code, issued now when the
    // record has none and a verification host is set.
    RecordCard cardToPrint();
    const RegisterDef& registerDef() const { return m_def; }

    // The value of the leading number of a key: blanks ignored, then the longest leading decimal
    // number (fraction and exponent allowed); 0 when the text does not start with one.
    static double LeadingNumber(const QString& text);
    // The shortest decimal text of a number (15 gives "15").
    static QString NumberText(double value);

public slots:
    void cmdNew_Click();
    void cmdEdit_Click();
    void cmdSave_Click();
    void cmdCancel_Click();
    void cmdDelete_Click();
    void cmdFind_Click();
    void cmdList_Click();
    void cmdQuery_Click();
    void cmdPrint_Click();
    void cmdHeYanMa_Click();
    void cmdZhiZhao_Click();
    void cmdDelPic_Click();
    void imgZhaoPian_DblClick();

protected:
    EntryForm(const RegisterDef& def, QWidget* parent);
    // Wires the controls of the form's layout and loads the register; the derived constructor
    // calls it after setting up its layout.
    void Form_Load();
    // The query window of this register.
    virtual QWidget* queryForm() = 0;

    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void SetMode(int mode);
    // Without the entry right the form only shows records, whichever window opened it.
    bool viewOnly() const;
    bool refusedWithoutEntryRight();
    void lockWhenViewOnly();
    void loadOptionLists();
    void writeColumn(const BoundField& field);
    void writeColumns(bool onlyChangedHere);
    void showColumn(const BoundField& field);
    bool updateRenumberingDuplicates();
    bool storeEdit();
    // The box's value as the form compares it: a date as yyyy-MM-dd, a text as shown.
    QString boxValue(const BoundField& field) const;
    // The field's value as stored in the current row, in the same terms.
    QString storedValue(const BoundField& field);
    bool changedHere(const BoundField& field) const;
    // The fields another desk changed since the record was shown here, with their values now.
    QList<std::pair<BoundField, QString>> changedElsewhere();
    // Asks before a box too short for its stored text writes it shortened; false to keep editing.
    bool shorteningAccepted();
    // The record was deleted at another desk while being edited here.
    bool storeAsNewRecord();
    std::optional<Recordset::Bookmark> currentRow() const;
    bool returnToShownRow();
    void showCurrentRowIfMoved();
    void showStoredRow();
    void moveOffRemovedRow();
    void storeCounter(double value);
    QWidget* control(const QString& name) const;
    QPushButton* button(const char* name) const;
    QString keyText() const;
    // The key of the stored record shown; empty while a new one is entered or nothing is shown.
    QString shownStoredKey() const;
    bool identityKeyAccepted(QChar typed) const;
    void showIdentityNote(const QString& note);
    // The sex or birth date the identity number proposes for the walk's stop on `w`; empty when
    // the operator set that field himself; nullopt when the number tells nothing.
    std::optional<QString> identityProposal(QWidget* w) const;
    void reopenStepsTheNumberAnswers();
    bool rereadStoredRow();

    const RegisterDef& m_def;
    RecordsetPtr m_rMain;
    double m_nMaxNum = 0;
    int m_mode = Browsing;
    // The row the controls show; what edit and delete act on.
    std::optional<Recordset::Bookmark> m_shownRow;
    bool m_showQueued = false;
    PhotoBox* m_photo = nullptr;
    QLabel* m_lblNum = nullptr;
    QRect m_lblNumPlace; // the counter's own place in the layout
    QWidget* m_txtSfz = nullptr;
    // Each field of the record shown, as the box showed it and as it was stored then.
    QHash<QWidget*, QString> m_shownValues;
    QHash<QWidget*, QString> m_readValues;
    // Boxes that show only the start of a stored text longer than they hold.
    QHash<QWidget*, qsizetype> m_shortened;
    QByteArray m_shownPhoto;
    bool m_shownHoldsPhoto = false;
    // What the form itself last showed in 性别 and 出生年月 of a new record (as it started, or at
    // the walk's stop), to tell what the operator chose himself.
    QHash<QWidget*, QString> m_formShown;
};
