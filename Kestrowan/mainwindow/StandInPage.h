#pragma once

#include <QString>
#include <QWidget>

#include <functional>

// Plain pages the main window shows where no other part of the program has given it one: a title
// with a back button, or a first-run page that can only be skipped.
namespace StandInPage {

QWidget *detail(const QString &title, std::function<void()> onBack);
QWidget *onboarding(std::function<void()> onSkip);
// What a quick-add sheet shows for a group that is gone.
QWidget *missingGroup();

} // namespace StandInPage
