#include "Kestrowan/onboarding/StepIndicator.h"

#include "Kestrowan/shell/LocalizedFormat.h"
#include "Kestrowan/onboarding/OnboardingStyle.h"
#include "NVLXDesign/ContinuousShape.h"

#include <QPainter>

namespace {

constexpr qreal spacing = 6;
constexpr qreal currentSide = 8;
constexpr qreal otherSide = 6;
constexpr qreal verticalPadding = 4;

} // namespace

StepIndicator::StepIndicator(int steps, QWidget *parent) : QWidget(parent), m_steps(steps)
{
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    setCurrent(0);
}

void StepIndicator::setCurrent(int step)
{
    m_current = step;
    setAccessibleName(localizedFormat(QStringLiteral("ax.onboarding.stepOf"), {step + 1, m_steps}));
    update();
}

QSize StepIndicator::sizeHint() const
{
    return QSize(int(currentSide + (m_steps - 1) * (otherSide + spacing)), int(currentSide + 2 * verticalPadding));
}

void StepIndicator::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal total = currentSide + (m_steps - 1) * (otherSide + spacing);
    qreal x = (width() - total) / 2;
    const qreal middle = height() / 2.0;
    // The other steps in the border tone: the faint fill alone is invisible on a white window.
    for (int step = 0; step < m_steps; ++step) {
        const bool current = step == m_current;
        const qreal side = current ? currentSide : otherSide;
        const QRectF capsule(x, middle - side / 2, side, side);
        painter.fillPath(ContinuousShape::capsule(capsule),
                         (current ? OnboardingColors::accent : OnboardingColors::popupBorder).resolve(this));
        x += side + spacing;
    }
}
