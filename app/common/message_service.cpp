#include "app/common/message_service.h"

#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QGridLayout>
#include <QMessageBox>
#include <QSpacerItem>

namespace {
CMessageService g_default;
CMessageService* g_current = &g_default;

// The window a box belongs to: the nearest shown window of parent (a dialog not shown yet
// would place the box in the screen's corner), else the active window.
QWidget* Owner(QWidget* parent) {
    for (QWidget* w = parent; w; w = w->parentWidget())
        if (w->isVisible()) return w->window();
    return QApplication::activeWindow();
}

// A message box is as wide as its text needs; keep it wide enough for its title as well.
void FitTitle(QMessageBox& box) {
    auto* grid = qobject_cast<QGridLayout*>(box.layout());
    if (!grid) return;
    int width = box.fontMetrics().horizontalAdvance(box.windowTitle()) + 120;  // + title buttons
    grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Minimum),
                  grid->rowCount(), 0, 1, grid->columnCount());
}
}  // namespace

void CMessageService::Inform(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, QApplication::applicationName(), text, QMessageBox::Ok,
                    Owner(parent));
    FitTitle(box);
    box.exec();
}

bool CMessageService::Ask(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::Warning, QApplication::applicationName(), text,
                    QMessageBox::Yes | QMessageBox::No, Owner(parent));
    box.setDefaultButton(QMessageBox::No);
    FitTitle(box);
    return box.exec() == QMessageBox::Yes;
}

CMessageService::Answer CMessageService::AskYesNoCancel(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::Warning, QApplication::applicationName(), text,
                    QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, Owner(parent));
    box.setDefaultButton(QMessageBox::Yes);
    FitTitle(box);
    switch (box.exec()) {
        case QMessageBox::Yes:
            return Answer::Yes;
        case QMessageBox::No:
            return Answer::No;
        default:
            return Answer::Cancel;  // Cancel, Escape or the title bar's close button
    }
}

int CMessageService::Run(QDialog& dialog) { return dialog.exec(); }

QString CMessageService::AskOpenFile(QWidget* parent, const QString& filter) {
    return QFileDialog::getOpenFileName(parent, QString(), QString(), filter);
}

QString CMessageService::AskSaveFile(QWidget* parent, const QString& filter) {
    return QFileDialog::getSaveFileName(parent, QString(), QString(), filter);
}

CMessageService& CMessageService::Get() { return *g_current; }

void CMessageService::Install(CMessageService* service) {
    g_current = service ? service : &g_default;
}
