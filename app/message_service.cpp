#include "message_service.h"

#include <QApplication>
#include <QDialog>
#include <QMessageBox>

namespace {
CMessageService g_default;
CMessageService* g_current = &g_default;
}  // namespace

void CMessageService::Inform(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, QApplication::applicationName(), text, QMessageBox::Ok,
                    parent);
    box.exec();
}

bool CMessageService::Ask(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::Warning, QApplication::applicationName(), text,
                    QMessageBox::Yes | QMessageBox::No, parent);
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

int CMessageService::Run(QDialog& dialog) { return dialog.exec(); }

CMessageService& CMessageService::Get() { return *g_current; }

void CMessageService::Install(CMessageService* service) {
    g_current = service ? service : &g_default;
}
