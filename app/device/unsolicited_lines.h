// The output-pane lines of an unsolicited device message (monitor events, the controller's
// information lines, anything else), shared by the frame and the boot dialog so that both show
// the same texts. Bytes from the device are untrusted: the decoder bounds every text by the
// message's length.
#pragma once

#include <QByteArray>
#include <QString>
#include <utility>
#include <vector>

// Each line with its log level; nothing for a message shorter than a message head.
std::vector<std::pair<int, QString>> UnsolicitedLines(const QByteArray& message);
