// CXmlDoc: the program's own small XML reader. A document is loaded from a file in one go and
// indexed; callers walk it with a three-level position (parent, current element, current
// child) and read names, texts and attribute values. The parse is lenient: it never stops and
// reports nothing (unclosed elements are closed where their parent closes, stray end tags are
// ignored, several top-level elements follow one another).
//
// The text is held as QString, the program's own text type, so names compare equal to the
// program's literals ("关联波形", "目录地址") whatever encoding the file used. Names are compared
// exactly and case-sensitively; an empty name argument means any element.
//
// Not thread-safe; one user at a time.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>
#include <vector>

class CXmlDoc {
  public:
    // Replaces the document with the file's content; false when the file cannot be read (the
    // document is then empty). Malformed markup still gives true. The position is rewound.
    bool LoadFile(const QString& path);
    // The same from bytes already in memory (encoding rules as for a file).
    void LoadBytes(const QByteArray& bytes);

    void Rewind();
    bool NextElement(const QString& name = QString());
    bool NextChild(const QString& name = QString());
    void StepIn();
    void StepOut();

    QString ElementName() const;
    QString ChildName() const;
    QString ChildText() const;
    QString AttributeValue(const QString& attribute) const;

    // The text the document holds after conversion (for tests and diagnostics).
    const QString& Text() const { return m_text; }
    // Number of elements in the index.
    int ElementCount() const { return int(m_elements.size()) - 1; }

    // Converts the file's bytes to text: byte-order mark, then the encoding declared in the
    // first 1024 bytes, then UTF-8 for a file starting with "<", then UTF-8 when valid, else GBK.
    static QString DecodeBytes(const QByteArray& bytes);
    // Decodes character and entity references; unknown ones stay as written.
    static QString DecodeReferences(QStringView text);

  private:
    static constexpr int kNone = -1;
    struct Attribute {
        QString name;
        QString value;  // decoded
    };
    struct Element {
        QString name;
        int parent = 0;  // 0 is the invisible document entry
        std::vector<int> children;
        std::vector<Attribute> attributes;
        qsizetype contentBegin = 0, contentEnd = 0;
        bool hasContent = false;  // false for "<a/>" and for elements closed without end tag
    };

    void Parse();
    int ParentOf(int element) const;  // kNone for top-level elements
    int FindAfter(int parent, int after, const QString& name) const;
    QString TextOf(int element) const;

    QString m_text;
    std::vector<Element> m_elements;
    int m_posParent = kNone, m_posCurrent = kNone, m_posChild = kNone;
};
