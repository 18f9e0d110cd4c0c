#include "SteadyScrollBar.h"

#include <QPaintEvent>
#include <QStyleOptionSlider>

namespace corvanel {

void SteadyScrollBar::setSpan(int page, int maximum, bool toEnd)
{
    m_settling = true;
    setPageStep(page);
    setRange(0, maximum);
    if (toEnd)
        setValue(maximum);
    m_settling = false;
    if (look() != m_painted)
        update();
}

void SteadyScrollBar::sliderChange(SliderChange change)
{
    if (change == SliderOrientationChange || (!m_settling && look() != m_painted))
        QScrollBar::sliderChange(change);
}

void SteadyScrollBar::paintEvent(QPaintEvent *event)
{
    if (event->rect().contains(rect()))
        m_painted = look();
    QScrollBar::paintEvent(event);
}

SteadyScrollBar::Look SteadyScrollBar::look() const
{
    QStyleOptionSlider opt;
    initStyleOption(&opt);
    return {style()->subControlRect(QStyle::CC_ScrollBar, &opt, QStyle::SC_ScrollBarSlider, this),
            opt.sliderPosition <= opt.minimum, opt.sliderPosition >= opt.maximum};
}

} // namespace corvanel
