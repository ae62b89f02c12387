#pragma once
// 菜单栏: never shown; it carries what the lists' popup menu does.

#include <QWidget>

class fmenu : public QWidget {
    Q_OBJECT
public:
    static fmenu* instance();

    // Reopens the table named by gViewTable in the list window, under the list window's title.
    void mnuRerush_Click();

private:
    explicit fmenu(QWidget* parent = nullptr);
};
