#include "app/common/ip_address_edit.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>

namespace {
// The first three digits of a part.
QString Digits(const QString& part) {
    QString digits;
    for (QChar c : part)
        if (c.isDigit() && digits.size() < 3) digits += c;
    return digits;
}

// A part as the field shows it: its digits as typed, clamped to 255 as the platform control
// does.
QString Clamped(const QString& part) {
    QString digits = Digits(part);
    return digits.toInt() > 255 ? QStringLiteral("255") : digits;
}
}  // namespace

CIpAddressEdit::CIpAddressEdit(QWidget* parent) : QFrame(parent) {
    setFrameShape(QFrame::StyledPanel);
    setFrameShadow(QFrame::Sunken);
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Base);
    auto* lay = new QHBoxLayout(this);
    lay->setContentsMargins(2, 1, 2, 1);
    lay->setSpacing(0);
    const int width = fontMetrics().horizontalAdvance(QStringLiteral("0000"));
    for (int i = 0; i < 4; ++i) {
        if (i) {
            auto* dot = new QLabel(QStringLiteral("."), this);
            dot->setBackgroundRole(QPalette::Base);
            lay->addWidget(dot);
        }
        auto* f = new QLineEdit(this);
        f->setObjectName(QStringLiteral("addressPart%1").arg(i));
        f->setFrame(false);
        f->setAlignment(Qt::AlignCenter);
        f->setMinimumWidth(width);
        f->installEventFilter(this);
        connect(f, &QLineEdit::textEdited, this, [this, i](const QString& text) {
            if (m_spreading) return;
            int next = Spread(i, text);
            if (next != i) FocusField(next, false);
        });
        m_fields[size_t(i)] = f;
        lay->addWidget(f, 1);
    }
    setFocusProxy(m_fields[0]);
}

int CIpAddressEdit::Spread(int field, const QString& text) {
    m_spreading = true;
    const QStringList parts = text.split(QLatin1Char('.'));
    int focus = field;
    if (parts.size() == 1) {
        QString value = Clamped(text);
        if (value != text) m_fields[size_t(field)]->setText(value);
        if (Digits(text).size() == 3 && field < 3) focus = field + 1;  // a full field moves on
    } else {
        // A typed "." ends the field and moves on, leaving the next field as it is (it is
        // selected, so typing replaces it); a pasted address fills the fields in turn.
        const bool typedDot = parts.size() == 2 && parts[1].isEmpty();
        for (int k = 0; k < parts.size() && field + k < 4; ++k) {
            if (k > 0 && typedDot) break;
            m_fields[size_t(field + k)]->setText(Clamped(parts[k]));
        }
        const bool loneDot = typedDot && Clamped(parts[0]).isEmpty();  // ignored, as a control does
        if (!loneDot) focus = qMin(3, field + int(parts.size()) - 1);
    }
    m_spreading = false;
    return focus;
}

void CIpAddressEdit::FocusField(int i, bool atEnd) {
    QLineEdit* f = m_fields[size_t(i)];
    f->setFocus(Qt::OtherFocusReason);
    if (atEnd)
        f->setCursorPosition(int(f->text().size()));
    else
        f->selectAll();
}

bool CIpAddressEdit::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress) return QFrame::eventFilter(watched, event);
    auto* f = qobject_cast<QLineEdit*>(watched);
    int i = -1;
    for (int k = 0; k < 4; ++k)
        if (m_fields[size_t(k)] == f) i = k;
    if (i < 0) return QFrame::eventFilter(watched, event);
    auto* key = static_cast<QKeyEvent*>(event);
    const bool atStart = f->cursorPosition() == 0 && !f->hasSelectedText();
    const bool atEnd = f->cursorPosition() == f->text().size() && !f->hasSelectedText();
    switch (key->key()) {
        case Qt::Key_Period:
            // Ends the field and moves on; in a field left empty (or just moved into, its old
            // value selected) it does nothing, so "127." after an automatic move is one move.
            if (i < 3 && !f->text().isEmpty() && f->selectedText() != f->text())
                FocusField(i + 1, false);
            return true;
        case Qt::Key_Backspace:
            if (atStart && i > 0) {
                FocusField(i - 1, true);
                return true;
            }
            break;
        case Qt::Key_Left:
            if (atStart && i > 0) {
                FocusField(i - 1, true);
                return true;
            }
            break;
        case Qt::Key_Right:
            if (atEnd && i < 3) {
                m_fields[size_t(i + 1)]->setFocus(Qt::OtherFocusReason);
                m_fields[size_t(i + 1)]->setCursorPosition(0);
                return true;
            }
            break;
        default:
            break;
    }
    return QFrame::eventFilter(watched, event);
}

std::array<uint8_t, 4> CIpAddressEdit::Address() const {
    std::array<uint8_t, 4> a{};
    for (size_t i = 0; i < 4; ++i) a[i] = uint8_t(qBound(0, m_fields[i]->text().toInt(), 255));
    return a;
}

void CIpAddressEdit::SetAddress(const std::array<uint8_t, 4>& address) {
    for (size_t i = 0; i < 4; ++i) m_fields[i]->setText(QString::number(address[i]));
}

QString CIpAddressEdit::Text() const {
    std::array<uint8_t, 4> a = Address();
    return QStringLiteral("%1.%2.%3.%4").arg(a[0]).arg(a[1]).arg(a[2]).arg(a[3]);
}
