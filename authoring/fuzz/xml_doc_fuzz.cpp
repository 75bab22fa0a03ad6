// The XML reader on arbitrary bytes: load, then walk every element with the position API and
// read every name, text and the attributes the program asks for.
#include <QByteArray>
#include <cstddef>
#include <cstdint>

#include "authoring/xml/xml_doc.h"

namespace {
// Depth-first over the current level, bounded so that deep nesting cannot exhaust the stack.
void Walk(CXmlDoc& doc, int depth) {
    while (doc.NextElement()) {
        (void)doc.ElementName().size();
        (void)doc.AttributeValue(QStringLiteral("目录地址")).size();
        (void)doc.AttributeValue(QStringLiteral("关联波形")).size();
        while (doc.NextChild()) (void)(doc.ChildName().size() + doc.ChildText().size());
        if (depth < 64) {
            doc.StepIn();
            Walk(doc, depth + 1);
            doc.StepOut();
        }
    }
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CXmlDoc doc;
    doc.LoadBytes(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    Walk(doc, 0);
    doc.Rewind();
    (void)CXmlDoc::DecodeReferences(doc.Text()).size();
    return 0;
}
