// Stands in until the main view lands: the program's name on the window's background.
#include "Kestrowan/mainwindow/MainWindowContent.h"

#include <QLabel>
#include <QVBoxLayout>
#include <QWidget>

QWidget *makeMainWindowContent(const AppEnvironment &, QWidget *parent)
{
    auto *content = new QWidget(parent);
    auto *layout = new QVBoxLayout(content);
    auto *title = new QLabel(QStringLiteral("Kestrowan"), content);
    title->setAlignment(Qt::AlignCenter);
    QFont font = title->font();
    font.setPointSizeF(20);
    font.setWeight(QFont::DemiBold);
    title->setFont(font);
    layout->addWidget(title);
    return content;
}
