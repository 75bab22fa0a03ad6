#include "authoring/xml/xml_doc.h"

#include <QFile>
#include <QHash>
#include <QStringDecoder>

#include "authoring/xml/xml_entities.h"

namespace {

bool IsSpace(QChar c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }

// Characters that end a tag name or an attribute name.
bool EndsName(QChar c) {
    return IsSpace(c) || c == u'/' || c == u'>' || c == u'<' || c == u'=' || c == u'"' ||
           c == u'\'';
}

bool StartsName(QChar c) { return c.isLetter() || c == u'_' || c == u':'; }

bool At(QStringView t, qsizetype i, QStringView what) { return t.mid(i).startsWith(what); }

// End of a comment, CDATA section, processing instruction or declaration starting at i (the
// position after it), or -1 when the markup at i is none of these.
qsizetype SkipSpecial(QStringView t, qsizetype i) {
    auto until = [&](qsizetype from, QStringView end) {
        qsizetype e = t.indexOf(end, from);
        return e < 0 ? t.size() : e + end.size();
    };
    if (At(t, i, u"<!--")) return until(i + 4, u"-->");
    if (At(t, i, u"<![CDATA[")) return until(i + 9, u"]]>");
    if (At(t, i, u"<?")) return until(i + 2, u"?>");
    if (At(t, i, u"<!")) {
        // A document type declaration may hold an internal subset in brackets and quoted
        // texts; it ends at the first ">" outside both.
        int depth = 0;
        QChar quote;
        for (qsizetype j = i + 2; j < t.size(); ++j) {
            QChar c = t[j];
            if (!quote.isNull()) {
                if (c == quote) quote = QChar();
            } else if (c == u'"' || c == u'\'') {
                quote = c;
            } else if (c == u'[') {
                ++depth;
            } else if (c == u']') {
                if (depth > 0) --depth;
            } else if (c == u'>' && depth == 0) {
                return j + 1;
            }
        }
        return t.size();
    }
    return -1;
}

// The value of name="..." (or name=value) inside markup, searched from the name; empty when
// the name is not followed by "=".
QByteArray ValueAfter(const QByteArray& lower, const QByteArray& head, qsizetype from,
                      qsizetype end, const char* name) {
    qsizetype at = lower.indexOf(name, from);
    if (at < 0 || at >= end) return {};
    qsizetype j = at + qsizetype(qstrlen(name));
    while (j < end && IsSpace(QChar(head[j]))) ++j;
    if (j >= end || head[j] != '=') return {};
    ++j;
    while (j < end && IsSpace(QChar(head[j]))) ++j;
    char quote = (j < end && (head[j] == '"' || head[j] == '\'')) ? head[j++] : 0;
    qsizetype b = j;
    while (j < end && head[j] != quote &&
           !(quote == 0 && (IsSpace(QChar(head[j])) || head[j] == '>' || head[j] == ';')))
        ++j;
    return head.mid(b, j - b).trimmed();
}

// The encoding named by an XML declaration or an HTML meta element in the head of the file.
QByteArray DeclaredEncoding(const QByteArray& head) {
    QByteArray lower = head.toLower();
    qsizetype decl = lower.indexOf("<?xml");
    if (decl >= 0) {
        qsizetype end = lower.indexOf("?>", decl);
        if (end < 0) end = lower.size();
        QByteArray v = ValueAfter(lower, head, decl, end, "encoding");
        if (!v.isEmpty()) return v;
    }
    for (qsizetype meta = lower.indexOf("<meta"); meta >= 0;
         meta = lower.indexOf("<meta", meta + 5)) {
        qsizetype end = lower.indexOf('>', meta);
        if (end < 0) end = lower.size();
        QByteArray v = ValueAfter(lower, head, meta, end, "charset");
        if (!v.isEmpty()) return v;
    }
    return {};
}

QString DecodeWith(QStringDecoder& decoder, QByteArrayView bytes) {
    QString text = decoder(bytes);
    return text;
}

QString FromLocalCodePage(QByteArrayView bytes) {
    QStringDecoder gbk("GBK");
    if (!gbk.isValid()) return QString::fromLatin1(bytes);
    return DecodeWith(gbk, bytes);
}

}  // namespace

QString CXmlDoc::DecodeBytes(const QByteArray& bytes) {
    QByteArrayView b(bytes);
    if (b.startsWith("\xEF\xBB\xBF")) return QString::fromUtf8(b.sliced(3));
    if (b.startsWith("\xFF\xFE")) {
        QStringDecoder d(QStringConverter::Utf16LE, QStringConverter::Flag::Stateless);
        return DecodeWith(d, b.sliced(2));
    }
    if (b.startsWith("\xFE\xFF")) {
        QStringDecoder d(QStringConverter::Utf16BE, QStringConverter::Flag::Stateless);
        return DecodeWith(d, b.sliced(2));
    }
    QByteArray declared = DeclaredEncoding(bytes.left(1024));
    if (!declared.isEmpty()) {
        QStringDecoder d(declared.constData(), QStringConverter::Flag::Stateless);
        // A declaration that could be read byte by byte cannot be true of a 16- or 32-bit
        // encoding; such a claim is ignored rather than turning the file into noise.
        bool wide = declared.toLower().contains("16") || declared.toLower().contains("32");
        if (d.isValid() && !wide) return DecodeWith(d, b);
    }
    if (b.startsWith('<')) return QString::fromUtf8(b);
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    QString text = DecodeWith(utf8, b);
    if (!utf8.hasError()) return text;
    return FromLocalCodePage(b);
}

QString CXmlDoc::DecodeReferences(QStringView s) {
    if (!s.contains(u'&')) return s.toString();
    QString out;
    out.reserve(s.size());
    qsizetype i = 0;
    while (i < s.size()) {
        if (s[i] != u'&') {
            out += s[i++];
            continue;
        }
        // At most 9 characters between "&" and ";".
        qsizetype semi = -1;
        for (qsizetype j = i + 1; j < s.size() && j <= i + 10; ++j) {
            if (s[j] == u';') {
                semi = j;
                break;
            }
        }
        char32_t code = 0;
        if (semi > i + 1) {
            QStringView body = s.mid(i + 1, semi - i - 1);
            if (body[0] == u'#') {
                bool hex = body.size() > 1 && body[1] == u'x';
                QStringView digits = body.mid(hex ? 2 : 1);
                uint64_t v = 0;
                bool ok = !digits.isEmpty();
                for (QChar c : digits) {
                    char16_t u = c.unicode();
                    int d = (u >= u'0' && u <= u'9')          ? u - u'0'
                            : hex && (u >= u'a' && u <= u'f') ? u - u'a' + 10
                            : hex && (u >= u'A' && u <= u'F') ? u - u'A' + 10
                                                              : -1;
                    if (d < 0) {
                        ok = false;
                        break;
                    }
                    v = v * (hex ? 16 : 10) + uint64_t(d);
                }
                if (ok && v <= 0x10FFFF) code = char32_t(v);
            } else {
                QByteArray name;
                bool ascii = true;
                for (QChar c : body) {
                    if (c.unicode() == 0 || c.unicode() > 0x7F) ascii = false;
                    name += char(c.unicode());
                }
                if (ascii) code = LookupXmlEntity(name.constData());
            }
        }
        bool representable = code != 0 && !(code >= 0xD800 && code <= 0xDFFF);
        if (!representable) {
            out += u'&';
            ++i;
            continue;
        }
        out += QString::fromUcs4(&code, 1);
        i = semi + 1;
    }
    return out;
}

bool CXmlDoc::LoadFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        m_text.clear();
        Parse();
        Rewind();
        return false;
    }
    LoadBytes(file.readAll());
    return true;
}

void CXmlDoc::LoadBytes(const QByteArray& bytes) {
    m_text = DecodeBytes(bytes);
    Parse();
    Rewind();
}

void CXmlDoc::Parse() {
    m_elements.clear();
    m_elements.emplace_back();  // the document entry
    QStringView t(m_text);
    const qsizetype n = t.size();
    std::vector<int> open;          // open elements, innermost last
    QHash<QString, int> openNames;  // how many open elements bear each name

    // Closes open[depth..] without end tags: they become elements without content, and what
    // followed their start tags moves up to the element below them, in document order. Each
    // innermost open element is the last child of the one below it, so appending the children
    // of each in turn keeps that order and moves every element once.
    auto closeWithoutEnd = [&](size_t depth) {
        int target = depth == 0 ? 0 : open[depth - 1];
        for (size_t d = depth; d < open.size(); ++d) {
            Element& e = m_elements[size_t(open[d])];
            e.hasContent = false;
            std::vector<int> moved;
            moved.swap(e.children);
            for (int c : moved) {
                m_elements[size_t(c)].parent = target;
                m_elements[size_t(target)].children.push_back(c);
            }
            if (--openNames[e.name] == 0) openNames.remove(e.name);
        }
        open.resize(depth);
    };

    qsizetype i = 0;
    while (i < n) {
        qsizetype lt = t.indexOf(u'<', i);
        if (lt < 0 || lt + 1 >= n) break;
        i = lt;
        if (qsizetype after = SkipSpecial(t, i); after >= 0) {
            i = after;
            continue;
        }
        if (t[i + 1] == u'/') {
            qsizetype j = i + 2;
            while (j < n && !EndsName(t[j])) ++j;
            QString name = t.mid(i + 2, j - i - 2).toString();
            qsizetype gt = t.indexOf(u'>', j);
            qsizetype end = gt < 0 ? n : gt + 1;
            if (!name.isEmpty() && openNames.contains(name)) {
                size_t k = open.size();
                while (m_elements[size_t(open[k - 1])].name != name) --k;
                closeWithoutEnd(k);
                Element& e = m_elements[size_t(open[k - 1])];
                e.contentEnd = lt;
                e.hasContent = true;
                if (--openNames[name] == 0) openNames.remove(name);
                open.pop_back();
            }
            i = end;
            continue;
        }
        if (!StartsName(t[i + 1])) {
            ++i;  // a lone "<" is text
            continue;
        }
        qsizetype j = i + 1;
        while (j < n && !EndsName(t[j])) ++j;
        Element e;
        e.name = t.mid(i + 1, j - i - 1).toString();
        e.parent = open.empty() ? 0 : open.back();
        bool empty = true, closed = false;
        while (j < n) {
            QChar c = t[j];
            if (IsSpace(c)) {
                ++j;
            } else if (c == u'>') {
                ++j;
                empty = false;
                closed = true;
                break;
            } else if (c == u'/' && j + 1 < n && t[j + 1] == u'>') {
                j += 2;
                closed = true;
                break;
            } else if (c == u'<') {
                // A tag cut short by the next markup ends before it.
                empty = false;
                closed = true;
                break;
            } else if (c == u'/' || c == u'=' || c == u'"' || c == u'\'') {
                ++j;
            } else {
                qsizetype b = j;
                while (j < n && !EndsName(t[j])) ++j;
                QString attr = t.mid(b, j - b).toString();
                while (j < n && IsSpace(t[j])) ++j;
                QString value;
                if (j < n && t[j] == u'=') {
                    ++j;
                    while (j < n && IsSpace(t[j])) ++j;
                    if (j < n && (t[j] == u'"' || t[j] == u'\'')) {
                        QChar quote = t[j++];
                        qsizetype e2 = t.indexOf(quote, j);
                        if (e2 < 0) e2 = n;
                        value = DecodeReferences(t.mid(j, e2 - j));
                        j = e2 < n ? e2 + 1 : n;
                    } else {
                        qsizetype v = j;
                        while (j < n && !IsSpace(t[j]) && t[j] != u'>' && t[j] != u'<') ++j;
                        // "a=b/>": the slash belongs to the tag's end.
                        qsizetype ve = j;
                        if (j < n && t[j] == u'>' && ve > v && t[ve - 1] == u'/') --ve;
                        value = DecodeReferences(t.mid(v, ve - v));
                        if (ve < j) j = ve;
                    }
                }
                bool seen = false;
                for (const Attribute& a : e.attributes) seen = seen || a.name == attr;
                if (!seen) e.attributes.push_back({attr, value});
            }
        }
        int index = int(m_elements.size());
        m_elements[size_t(e.parent)].children.push_back(index);
        if (!closed) empty = true;  // a start tag cut off by the end of the text
        if (!empty) {
            e.contentBegin = j;
            openNames[e.name] += 1;
            open.push_back(index);
        }
        m_elements.push_back(std::move(e));
        i = j;
    }
    closeWithoutEnd(0);
}

int CXmlDoc::ParentOf(int element) const {
    int p = m_elements[size_t(element)].parent;
    return p == 0 ? kNone : p;
}

int CXmlDoc::FindAfter(int parent, int after, const QString& name) const {
    const std::vector<int>& kids = m_elements[size_t(parent == kNone ? 0 : parent)].children;
    size_t from = 0;
    if (after != kNone) {
        while (from < kids.size() && kids[from] != after) ++from;
        ++from;
    }
    for (size_t k = from; k < kids.size(); ++k)
        if (name.isEmpty() || m_elements[size_t(kids[k])].name == name) return kids[k];
    return kNone;
}

void CXmlDoc::Rewind() { m_posParent = m_posCurrent = m_posChild = kNone; }

bool CXmlDoc::NextElement(const QString& name) {
    int found = m_posCurrent != kNone ? FindAfter(ParentOf(m_posCurrent), m_posCurrent, name)
                                      : FindAfter(m_posParent, kNone, name);
    if (found == kNone) return false;
    m_posCurrent = found;
    m_posParent = ParentOf(found);
    m_posChild = kNone;
    return true;
}

bool CXmlDoc::NextChild(const QString& name) {
    if (m_posCurrent == kNone && !NextElement()) return false;
    int found = FindAfter(m_posCurrent, m_posChild, name);
    if (found == kNone) return false;
    m_posChild = found;
    return true;
}

void CXmlDoc::StepIn() {
    if (m_posCurrent == kNone) return;
    m_posParent = m_posCurrent;
    m_posCurrent = m_posChild;
    m_posChild = kNone;
}

void CXmlDoc::StepOut() {
    if (m_posParent == kNone) return;
    m_posChild = m_posCurrent;
    m_posCurrent = m_posParent;
    m_posParent = ParentOf(m_posParent);
}

QString CXmlDoc::ElementName() const {
    return m_posCurrent == kNone ? QString() : m_elements[size_t(m_posCurrent)].name;
}

QString CXmlDoc::ChildName() const {
    return m_posChild == kNone ? QString() : m_elements[size_t(m_posChild)].name;
}

QString CXmlDoc::ChildText() const { return m_posChild == kNone ? QString() : TextOf(m_posChild); }

QString CXmlDoc::AttributeValue(const QString& attribute) const {
    if (m_posCurrent == kNone) return {};
    for (const Attribute& a : m_elements[size_t(m_posCurrent)].attributes)
        if (a.name == attribute) return a.value;
    return {};
}

QString CXmlDoc::TextOf(int element) const {
    const Element& e = m_elements[size_t(element)];
    if (!e.children.empty() || !e.hasContent) return {};
    QStringView c = QStringView(m_text).mid(e.contentBegin, e.contentEnd - e.contentBegin);
    if (!c.contains(u'<')) return DecodeReferences(c);
    // Text runs decoded, CDATA taken literally; other markup contributes nothing.
    QString out;
    qsizetype i = 0;
    while (i < c.size()) {
        qsizetype lt = c.indexOf(u'<', i);
        if (lt < 0) lt = c.size();
        out += DecodeReferences(c.mid(i, lt - i));
        if (lt >= c.size()) break;
        if (At(c, lt, u"<![CDATA[")) {
            qsizetype end = c.indexOf(u"]]>", lt + 9);
            out += c.mid(lt + 9, (end < 0 ? c.size() : end) - lt - 9);
            i = end < 0 ? c.size() : end + 3;
        } else if (qsizetype after = SkipSpecial(c, lt); after >= 0) {
            i = after;
        } else if (lt + 1 < c.size() && c[lt + 1] == u'/') {
            qsizetype gt = c.indexOf(u'>', lt);
            i = gt < 0 ? c.size() : gt + 1;  // a stray end tag
        } else {
            out += u'<';
            i = lt + 1;
        }
    }
    return out;
}
