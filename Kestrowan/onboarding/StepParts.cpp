#include "Kestrowan/onboarding/StepParts.h"

#include "Kestrowan/onboarding/OnboardingStyle.h"
#include "Kestrowan/shell/TokenLabel.h"

#include <QBoxLayout>
#include <QLabel>

namespace StepParts {

TokenLabel *label(const QString &text, qreal points, QFont::Weight weight, const DynamicColor &color,
                  Qt::Alignment alignment, bool singleLine)
{
    auto *label = new TokenLabel(text, color, OnboardingStyle::font(points, weight));
    label->setAlignment(alignment);
    label->setWordWrap(!singleLine);
    label->setTextFormat(Qt::PlainText);
    // A single line may hold a name of any length: it ends in "…" rather than being cut.
    label->setElided(singleLine);
    return label;
}

QLayout *headline(const QString &title, const QString &subtitle, int maxSubtitleWidth)
{
    auto *column = new QVBoxLayout;
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(6);
    addCentred(column, label(title, 21, QFont::Bold, OnboardingColors::primaryText));
    if (!subtitle.isEmpty()) {
        TokenLabel *sub = label(subtitle, 13, QFont::Normal, OnboardingColors::secondaryText);
        sub->setMaximumWidth(maxSubtitleWidth);
        addCentred(column, sub);
    }
    return column;
}

void addCentred(QBoxLayout *layout, QWidget *widget)
{
    auto *label = qobject_cast<QLabel *>(widget);
    if (!label || !label->wordWrap()) {
        layout->addWidget(widget, 0, Qt::AlignHCenter);
        return;
    }
    // An aligned item gets only its preferred width, which cuts wrapped text short: a wrapping
    // label takes the row (up to its maximum width) between two stretches instead.
    auto *row = new QHBoxLayout;
    row->setContentsMargins(0, 0, 0, 0);
    row->addStretch();
    row->addWidget(label, 1);
    row->addStretch();
    layout->addLayout(row);
}

} // namespace StepParts
