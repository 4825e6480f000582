#include "Kestrowan/mainwindow/StagedPicker.h"

#include "Kestrowan/mainwindow/PickerChrome.h"
#include "Kestrowan/shell/AppColors.h"
#include "Kestrowan/shell/DSDivider.h"
#include "NVLXDesign/NVLXButton.h"

#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

StagedPicker::StagedPicker(const QString &title, const QList<AppItem> &selectedApps, QWidget *parent)
    : QWidget(parent)
    , m_staged(selectedApps)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    const PickerChrome::Header header = PickerChrome::makeHeader(title, this);
    m_count = header.count;
    layout->addWidget(header.widget);
    layout->addWidget(new DSDivider(this));
    m_body = new QVBoxLayout;
    m_body->setSpacing(0);
    layout->addLayout(m_body, 1);
    layout->addWidget(new DSDivider(this));
    const PickerChrome::Footer footer = PickerChrome::makeFooter(this);
    m_cancel = footer.cancel;
    m_done = footer.done;
    layout->addWidget(footer.widget);
    connect(m_cancel, &QAbstractButton::clicked, this, &StagedPicker::cancelPicker);
    connect(m_done, &QAbstractButton::clicked, this, &StagedPicker::commitSelection);
    PickerChrome::setSelectedCount(m_count, m_staged.count());
}

void StagedPicker::toggle(const AppItem &entry)
{
    m_staged.toggle(entry);
    PickerChrome::setSelectedCount(m_count, m_staged.count());
    selectionChanged();
}

void StagedPicker::commitSelection()
{
    emit committed(m_staged.items());
}

void StagedPicker::cancelPicker()
{
    emit cancelled();
}

void StagedPicker::paintEvent(QPaintEvent *)
{
    QPainter(this).fillRect(rect(), AppColors::bg.resolve(this));
}
