#include "gui/widgets/ContainerStatusBar.h"

namespace tabula {

TContainerStatusBar::TContainerStatusBar(QWidget* parent) : QStatusBar(parent) {
    setFixedHeight(BarHeight);
    setSizeGripEnabled(true);
}

} // namespace tabula
