#pragma once
// Small routines the forms share: combo fills, the first-field-needing-input tests, the numeric key
// filter, the rights check, scaling a form to the screen, and a control's Text and Tag.

#include <functional>
#include <QSize>
#include <QString>

#include "OperatorAccess.h"

class QComboBox;
class QVariant;
class QWidget;
class Recordset;

// Fills the combo with the non-Null values of `field`, in record-set order. Leaves the record set
// at its end. Never throws.
void FillComboFromField(Recordset& records, QComboBox* combo, const QString& field);

// True when the control's text was empty: it then gets `defaultText` (when not empty), its whole
// text selected and the focus. Never throws.
bool FocusIfEmpty(QWidget* control, const QString& defaultText = QString());
// Like FocusIfEmpty, but tests and sets the control's Tag ("T"), so each suggestion is offered
// once until the caller clears the tag.
bool FocusIfUnmarked(QWidget* control, const QString& defaultText = QString());

// Returns `key` when its character is allowed (case-insensitive), else 0. Control characters
// (backspace, tab, delete, Ctrl combinations) always pass. An empty `allowed` means digits and both
// full stops.
int FilterKey(int key, const QString& allowed = QString());

// Esc anywhere in the form runs `action`. Esc and Enter in an open drop-down list or calendar act
// on that popup alone, in every window of the program: Esc closes it, Enter chooses.
void OnEscape(QWidget* form, std::function<void()> action);

// True when the logged-in operator holds the right as stored now, so that a right taken away at
// another desk bites at once. Silent; never throws. An operator deleted meanwhile is told so, logged
// out and handed to the handler given to OnOperatorGone.
bool HasRight(const QString& right);
// True only when the stored rights say no (a database that cannot be read says nothing), for
// what a form shows rather than what it does.
bool LacksRight(const QString& right);
// Like HasRight, but a refusal beeps and tells the user so, and a database that cannot be read is
// reported as such.
bool CheckRight(const QString& right);
// What ends the session of an operator deleted meanwhile (the main window ends the program).
void OnOperatorGone(std::function<void()> handler);
// True when the logged-in operator is the administrator; otherwise refuses `what` like CheckRight.
bool CheckAdministrator(const QString& what);
// Moves gUsersRs to the first row and searches forward for the operator; False when he is not
// there. Throws on database errors.
bool FindOperator(const QString& name);

// Scales the form, its controls' positions, sizes and fonts from the 800 x 600 layout to the screen,
// when gAutoSize is on.
void AutoSizeForm(QWidget* form);
void AutoSizeForm(QWidget* form, QSize screenSize);

// A control's Text: line edits, combo boxes (a list-only combo takes only texts of its list), plain
// and rich text edits, spin boxes and date edits, and otherwise the widget's "text" property.
QString ControlText(const QWidget* control);
// False when the control did not take the text.
bool SetControlText(QWidget* control, const QString& text);
// Selects the control's whole text, where it has text to select.
void SelectAllText(QWidget* control);

// A control's Tag, kept in its dynamic property "Tag".
QString ControlTag(const QWidget* control);
void SetControlTag(QWidget* control, const QString& tag);
