// Helpers shared by the program's Qt tests: a message service that answers without blocking,
// hand-built device replies and waits on conditions.
#pragma once

#include <QDialog>
#include <QStringList>
#include <QTest>
#include <cstdint>
#include <cstring>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "app/common/message_service.h"
#include "app/device/gbk_text.h"
#include "kvsh_user.h"

// Records every message box and question; answers questions from a queue (No when empty) and
// hands modal dialogs to a callback (Rejected when none is set).
class CRecordingService : public CMessageService {
  public:
    CRecordingService() { CMessageService::Install(this); }
    ~CRecordingService() override { CMessageService::Install(nullptr); }
    void Inform(QWidget*, const QString& text) override { informs << text; }
    bool Ask(QWidget*, const QString& text) override {
        asks << text;
        if (answers.empty()) return false;
        bool a = answers.front();
        answers.pop_front();
        return a;
    }
    // The save question: answered from threeWay (No when empty).
    Answer AskYesNoCancel(QWidget*, const QString& text) override {
        asks << text;
        if (threeWay.empty()) return Answer::No;
        Answer a = threeWay.front();
        threeWay.pop_front();
        return a;
    }
    int Run(QDialog& dialog) override {
        dialogs << dialog.objectName();
        return onDialog ? onDialog(dialog) : int(QDialog::Rejected);
    }
    QString AskOpenFile(QWidget*, const QString&) override { return fileToOpen; }
    QString AskSaveFile(QWidget*, const QString&) override { return fileToSave; }
    QStringList informs, asks, dialogs;
    QString fileToOpen, fileToSave;
    std::deque<bool> answers;
    std::deque<Answer> threeWay;
    std::function<int(QDialog&)> onDialog;
};

// A component-tree style reply: records of (kind, flag, name) after the 12-byte head.
struct TreeRecord {
    int kind;
    int32_t flag;
    std::string utf8Name;
};

inline std::vector<uint8_t> BuildReply(uint8_t cmd, const std::vector<TreeRecord>& records) {
    std::vector<uint8_t> msg(12, 0);
    msg[6] = uint8_t(cmd | 0x80);
    msg[7] = uint8_t(records.size());
    for (const TreeRecord& r : records) {
        QByteArray name = ToGbk(QString::fromStdString(r.utf8Name));
        uint16_t size = uint16_t(8 + name.size() + 1);
        uint32_t flag = uint32_t(r.flag);
        uint8_t head[8] = {uint8_t(size),       uint8_t(size >> 8), 1,
                           uint8_t(r.kind),     uint8_t(flag),      uint8_t(flag >> 8),
                           uint8_t(flag >> 16), uint8_t(flag >> 24)};
        msg.insert(msg.end(), head, head + 8);
        msg.insert(msg.end(), name.constData(), name.constData() + name.size() + 1);
    }
    int32_t length = int32_t(msg.size());
    std::memcpy(msg.data(), &length, 4);
    return msg;
}

inline const T_MSG_HEAD* AsHead(const std::vector<uint8_t>& msg) {
    return reinterpret_cast<const T_MSG_HEAD*>(msg.data());
}
