#pragma once

#include <QString>

class TokenLabel;
class QWidget;

// The grey title of an editor section ("Icon style", "Shortcut", ...): 13 points, semibold.
TokenLabel *makeEditorSectionHeader(const QString &text, QWidget *parent = nullptr);
