#pragma once

#include <QStatusBar>

namespace tabula {

// The status bar along the bottom edge of the main window. It accepts child
// controls laid out and drawn as its children; nothing writes text to it.
class TContainerStatusBar : public QStatusBar {
    Q_OBJECT
public:
    static constexpr int BarHeight = 19;
    explicit TContainerStatusBar(QWidget* parent = nullptr);
};

} // namespace tabula
