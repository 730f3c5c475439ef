#include "console/messageboxes.h"

MessageBoxes::~MessageBoxes() = default;

void MessageBoxes::show(QWidget* parent, const QString& text, QMessageBox::Icon icon)
{
    auto* box = new QMessageBox(icon, QStringLiteral("Parvix"), text, QMessageBox::Ok, parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}
