#include "Kestrowan/shell/SlimScrollBar.h"

#include "NVLXDesign/NVLXList.h"

void setSlimScrollBar(QScrollBar *bar)
{
    NVLXList::makeSlim(bar);
}
