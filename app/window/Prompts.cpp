#include "app/window/Prompts.h"

#include <QCoreApplication>
#include <QMessageBox>

namespace velorix {

namespace {
QString title() {
    return QCoreApplication::applicationName();
}
} // namespace

bool QtPrompts::confirm(const QString& text) {
    return QMessageBox::question(owner_, title(), text, QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::Yes) == QMessageBox::Yes;
}

void QtPrompts::inform(const QString& text) {
    QMessageBox::information(owner_, title(), text, QMessageBox::Ok);
}

void QtPrompts::warning(const QString& text) {
    QMessageBox::warning(owner_, title(), text, QMessageBox::Ok);
}

void QtPrompts::error(const QString& text) {
    QMessageBox::critical(owner_, title(), text, QMessageBox::Ok);
}

void QtPrompts::errorWithTitle(const QString& text, const QString& caption) {
    QMessageBox::critical(owner_, caption, text, QMessageBox::Ok);
}

} // namespace velorix
