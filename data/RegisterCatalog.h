#pragma once
// One description of each register: which control shows which column, the Enter-key walk, what
// clearing resets, and the per-table facts the entry forms, query forms and lists share.

#include <QDate>
#include <QString>
#include <QStringList>
#include <QVector>

// One column and the control that shows it, in the order the record is written.
struct BoundField {
    QString column;
    QString control;
};

// One stop of the Enter-key walk.
struct WalkStep {
    enum Check { Empty, Unmarked };
    enum Default { NoDefault, NextNumber, Male };
    QString control;
    Check check;
    Default suggestion = NoDefault;
};

// What clearing the fields does to one control; controls not listed keep their values.
struct ClearRule {
    enum Action { EmptyText, NoSelection, FixedDate, Today, NoDate };
    QString control;
    Action action;
    QDate date = {};
};

struct OptionCombo {
    QString category; // `leixing` in table List
    QString control;
};

struct RegisterDef {
    QString table;
    QString keyColumn;
    QString secondLocateColumn;
    QString locatePrompt;
    QString counterKey;
    QString listTitle;
    QString caption;
    QString cardTitle; // heading of the printed record card
    QVector<BoundField> fields;
    QVector<OptionCombo> optionCombos;
    QVector<WalkStep> walk;
    QVector<ClearRule> clearRules;
    QStringList marksKept;      // visit marks that survive a completed save
    QStringList imeOnControls;  // take Chinese text
    QStringList imeOffControls; // take numbers
    // The key box is proposed with a visit mark and the focus; otherwise just its text is set.
    bool proposeKeyWithFocus = true;
    // A memo column that takes the person's name when it is empty.
    QString nameFilledColumn;

    QString controlOf(const QString& column) const;
    QString columnOf(const QString& control) const;
};

const RegisterDef& certificateRegister();
const RegisterDef& operationCertificateRegister();
const RegisterDef& trainingRegister();
// The register kept in `table`; nullptr for any other table.
const RegisterDef* registerOfTable(const QString& table);
