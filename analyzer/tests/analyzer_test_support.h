// A message service for the analyzer tests: records boxes, answers file questions from its
// members and hands modal dialogs to a callback.
#pragma once

#include <QDialog>
#include <QStringList>
#include <functional>

#include "app/common/message_service.h"

class CAnswering : public CMessageService {
  public:
    CAnswering() { CMessageService::Install(this); }
    ~CAnswering() override { CMessageService::Install(nullptr); }
    void Inform(QWidget*, const QString& text) override { informs << text; }
    bool Ask(QWidget*, const QString& text) override {
        asks << text;
        return false;
    }
    int Run(QDialog& dialog) override {
        dialogs << dialog.objectName();
        return onDialog ? onDialog(dialog) : int(QDialog::Rejected);
    }
    QString AskOpenFile(QWidget*, const QString&) override { return QString(); }
    QString AskSaveFile(QWidget*, const QString& filter) override {
        filters << filter;
        return fileToSave;
    }
    QStringList informs, asks, dialogs, filters;
    QString fileToSave;
    std::function<int(QDialog&)> onDialog;
};
