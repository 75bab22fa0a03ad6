// CIpAddressEdit: an IPv4 address entry that behaves like the platform's address control:
// four fields of 0-255; "." (and a third digit) moves on to the next field, Backspace at the
// start of a field and the arrow keys at its edges move between fields, and pasting or typing a
// whole address ("10.0.0.5") fills the four fields. Empty fields count as 0.
#pragma once

#include <QFrame>
#include <array>
#include <cstdint>

class QLineEdit;

class CIpAddressEdit : public QFrame {
    Q_OBJECT
  public:
    explicit CIpAddressEdit(QWidget* parent = nullptr);

    std::array<uint8_t, 4> Address() const;
    void SetAddress(const std::array<uint8_t, 4>& address);
    // "a.b.c.d" as shown.
    QString Text() const;
    QLineEdit* Field(int i) const { return m_fields[size_t(i)]; }

    // The edit rule, for tests: the text a field received (typed or pasted) spread over the
    // fields from `field` on. Returns the field that should have the focus afterwards.
    int Spread(int field, const QString& text);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void FocusField(int i, bool atEnd);
    std::array<QLineEdit*, 4> m_fields{};
    bool m_spreading = false;
};
