#pragma once

#include <QScrollBar>

namespace corvanel {

// A scroll bar that repaints only when its picture changes. While data
// streams in at the end the range grows at every frame, but a handle at its
// smallest and at the bottom stays where it was to the pixel; repainting it
// would repaint the box's frame beneath it as well, for nothing.
class SteadyScrollBar : public QScrollBar
{
public:
    using QScrollBar::QScrollBar;

    // The page, the range from 0 to maximum, and (with toEnd) the value at
    // the end, set as one change: the steps in between never reach the
    // screen.
    void setSpan(int page, int maximum, bool toEnd);

protected:
    void sliderChange(SliderChange change) override;
    void paintEvent(QPaintEvent *event) override;

private:
    // What the range and the value decide in the picture: where the handle
    // is, and whether the bar is at either end.
    struct Look
    {
        QRect handle;
        bool atMinimum = false;
        bool atMaximum = false;
        bool operator!=(const Look &o) const
        {
            return handle != o.handle || atMinimum != o.atMinimum || atMaximum != o.atMaximum;
        }
    };
    Look look() const;

    Look m_painted; // as last painted whole
    bool m_settling = false;
};

} // namespace corvanel
