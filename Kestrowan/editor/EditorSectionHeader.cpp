#include "Kestrowan/editor/EditorSectionHeader.h"

#include "Kestrowan/shell/AppColors.h"
#include "Kestrowan/shell/TokenLabel.h"
#include "NVLXDesign/SystemFont.h"

TokenLabel *makeEditorSectionHeader(const QString &text, QWidget *parent)
{
    return new TokenLabel(text, AppColors::text3, SystemFont::font(13, QFont::DemiBold), parent);
}
