// Window and control colours are 0x00BBGGRR values (red in the low byte), as the host stores
// them; these turn them into Qt colours and back. The high byte is ignored. ControlColours holds
// the four colours of a drawn control.
#pragma once
#include <QColor>
#include <cstdint>

inline QColor FromBGR(uint32_t bgr) {
    return QColor(static_cast<int>(bgr & 0xFF), static_cast<int>((bgr >> 8) & 0xFF),
                  static_cast<int>((bgr >> 16) & 0xFF));
}

inline uint32_t ToBGR(const QColor& c) {
    return static_cast<uint32_t>(c.red()) | static_cast<uint32_t>(c.green()) << 8 |
           static_cast<uint32_t>(c.blue()) << 16;
}

// The face (BackColor), text or fill (ForeColor) and edge colours (Highlight, Shadow) of a drawn
// control, 0x00BBGGRR; setting one repaints the control.
template <class Control>
class ControlColours {
public:
    uint32_t BackColor() const { return back_; }
    void setBackColor(uint32_t bgr) { Set(back_, bgr); }
    uint32_t ForeColor() const { return fore_; }
    void setForeColor(uint32_t bgr) { Set(fore_, bgr); }
    uint32_t Highlight() const { return highlight_; }
    void setHighlight(uint32_t bgr) { Set(highlight_, bgr); }
    uint32_t Shadow() const { return shadow_; }
    void setShadow(uint32_t bgr) { Set(shadow_, bgr); }

protected:
    ControlColours(uint32_t back, uint32_t fore, uint32_t highlight, uint32_t shadow)
        : back_(back), fore_(fore), highlight_(highlight), shadow_(shadow) {}

private:
    void Set(uint32_t& colour, uint32_t bgr) {
        colour = bgr & 0xFFFFFF;
        static_cast<Control*>(this)->update();
    }

    uint32_t back_, fore_, highlight_, shadow_;
};
