#pragma once

#include <QMessageBox>

// Every message box of the console goes through here: opened without a
// nested event loop, and observable by tests, which replace show().
class MessageBoxes
{
public:
    virtual ~MessageBoxes();
    virtual void show(QWidget* parent, const QString& text, QMessageBox::Icon icon);
};
