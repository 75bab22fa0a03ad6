// Walking the records of a reply held as bytes (commands 1, 2, 3 and 12), bounded by the
// bytes held whatever the reply's head claims; texts come out of GBK.
#pragma once

#include <QByteArray>
#include <QString>
#include <functional>

#include "kvsh_records.h"

// Calls each for every whole record in order; false when the walk stopped at a malformed one
// (or the bytes do not hold a head).
bool ForEachRecord(const QByteArray& reply, const std::function<void(const KVS_RECORD&)>& each);

// Text index of a record ("" when the record does not hold it).
QString RecordText(const KVS_RECORD& rec, unsigned index);
