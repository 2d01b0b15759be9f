// The camera address control: four fields of 0 to 255 in one frame, one stop in the tab order.
// A blank field reads as 0.
#pragma once

#include <QFrame>
#include <array>
#include <cstdint>

class QLineEdit;

class CIPAddressCtrl : public QFrame {
    Q_OBJECT
public:
    static constexpr int kFields = 4;

    explicit CIPAddressCtrl(QWidget* parent = nullptr);

    // Leftmost field first.
    void SetAddress(std::uint8_t f0, std::uint8_t f1, std::uint8_t f2, std::uint8_t f3);
    // The four fields packed with the first one in the most significant byte.
    void SetAddress(std::uint32_t packed);
    // Fills the four fields (a blank one as 0) and returns how many were not blank.
    int GetAddress(std::uint8_t& f0, std::uint8_t& f1, std::uint8_t& f2, std::uint8_t& f3) const;
    std::array<std::uint8_t, kFields> Address() const;
    void ClearAddress();

    QLineEdit* Field(int index) const { return m_fields[static_cast<std::size_t>(index)]; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    int IndexOf(const QObject* field) const;
    void FocusField(int index, bool atEnd);

    std::array<QLineEdit*, kFields> m_fields{};
};
