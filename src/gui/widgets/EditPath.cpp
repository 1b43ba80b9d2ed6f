#include "gui/widgets/EditPath.h"

#include "gui/widgets/WinColors.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QDir>
#include <QFileDialog>
#include <QKeyEvent>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QStyleOptionToolButton>
#include <QSvgRenderer>

namespace tabula {

namespace {
constexpr int GlyphWidth = 16;
constexpr int GlyphHeight = 10;

bool IsCutOrPaste(const QKeyEvent* event) {
    return event->matches(QKeySequence::Cut) || event->matches(QKeySequence::Paste);
}
} // namespace

TBrowseButton::TBrowseButton(QWidget* parent) : QAbstractButton(parent) {
    setObjectName(QStringLiteral("BrowseButton"));
    setFocusPolicy(Qt::NoFocus);
    setCursor(Qt::ArrowCursor);
    resize(15, 17);
}

void TBrowseButton::SetFlat(bool flat) {
    flat_ = flat;
    update();
}

void TBrowseButton::SetTransparent(bool transparent) {
    transparent_ = transparent;
    update();
}

void TBrowseButton::enterEvent(QEnterEvent* event) {
    hovered_ = true;
    update();
    QAbstractButton::enterEvent(event);
}

void TBrowseButton::leaveEvent(QEvent* event) {
    hovered_ = false;
    update();
    QAbstractButton::leaveEvent(event);
}

void TBrowseButton::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    if (!transparent_) {
        painter.fillRect(rect(), palette().color(QPalette::Button));
    }
    // Flat buttons are raised only under the mouse (or while pressed).
    if (!flat_ || hovered_ || isDown()) {
        QStyleOptionToolButton option;
        option.initFrom(this);
        option.state |= isDown() ? QStyle::State_Sunken : QStyle::State_Raised;
        option.state |= QStyle::State_AutoRaise;
        style()->drawPrimitive(QStyle::PE_PanelButtonTool, &option, &painter, this);
    }
    const QString glyph = isEnabled() ? QStringLiteral(":/icons/folder.svg")
                                      : QStringLiteral(":/icons/folder-disabled.svg");
    QSvgRenderer renderer(glyph);
    const int shift = isDown() ? 1 : 0;
    const QRectF target((width() - GlyphWidth) / 2 + shift, (height() - GlyphHeight) / 2 + shift,
                        GlyphWidth, GlyphHeight);
    renderer.render(&painter, target);
}

TEditPath::TEditPath(QWidget* parent) : QLineEdit(parent), Chooser(RunChooser) {
    setObjectName(QStringLiteral("EditPath"));
    BrowseButton = new TBrowseButton(this);
    SavedColor = palette().color(QPalette::Base);
    connect(BrowseButton, &QAbstractButton::clicked, this, [this] { BrowseClick(); });
    LayoutButton();
}

void TEditPath::BrowseClick() {
    if (isReadOnly()) {
        // Nothing may change a read-only box: no chooser either.
        QApplication::beep();
    } else {
        const QString startDir =
            QDir(RootDir).exists() && !RootDir.isEmpty() ? RootDir : QDir::currentPath();
        if (const std::optional<QString> chosen = Chooser(*this, DirDialogType, startDir)) {
            QString path = *chosen;
            // The chosen name keeps its case: on this system another case
            // names another file or none.
            if (DirDialogType != TDirDialog::ddFileBrowser && !path.endsWith(QLatin1Char('/'))) {
                path += QLatin1Char('/');
            }
            setText(path);
        }
    }
    if (OnBtnClick) {
        OnBtnClick(this);
    }
}

std::optional<QString> TEditPath::RunChooser(TEditPath& box, TDirDialog kind,
                                             const QString& startDir) {
    QFileDialog dialog(&box);
    dialog.setObjectName(QStringLiteral("PathChooser"));
    dialog.setWindowTitle(box.Title);
    if (kind == TDirDialog::ddFileBrowser) {
        dialog.setFileMode(QFileDialog::ExistingFile);
        dialog.setDirectory(startDir);
        dialog.setNameFilter(QtFilter(box.Filter));
        if (!box.FileName.isEmpty()) {
            dialog.selectFile(box.FileName);
        }
    } else {
        const bool mayCreate =
            kind == TDirDialog::ddDirDialog && (box.DirDialogOptions & sdAllowCreate);
        dialog.setFileMode(mayCreate ? QFileDialog::AnyFile : QFileDialog::Directory);
        dialog.setOption(QFileDialog::ShowDirsOnly, true);
        // The folder browser shows the whole tree from its top.
        dialog.setDirectory(kind == TDirDialog::ddDirBrowser ? QDir::rootPath() : startDir);
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    const QString chosen = dialog.selectedFiles().constFirst();
    if (kind == TDirDialog::ddDirDialog && !QDir(chosen).exists() &&
        (box.DirDialogOptions & sdPerformCreate)) {
        if (box.DirDialogOptions & sdPrompt) {
            const auto answer = QMessageBox::question(
                &box, box.Title, QStringLiteral("Create the directory %1?").arg(chosen));
            if (answer != QMessageBox::Yes) {
                return std::nullopt;
            }
        }
        if (!QDir().mkpath(chosen)) {
            QMessageBox::warning(
                &box, box.Title,
                QStringLiteral("The directory %1 could not be created.").arg(chosen));
            return std::nullopt;
        }
    }
    return chosen;
}

QString TEditPath::QtFilter(const QString& filter) {
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString description = parts[i].trimmed();
        QStringList patterns = parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts);
        for (QString& pattern : patterns) {
            pattern = pattern.trimmed();
            // "*.*" matches every file there, names without a dot included.
            if (pattern == QStringLiteral("*.*")) {
                pattern = QStringLiteral("*");
            }
        }
        // Qt reads the patterns from the parentheses that end the entry.
        const qsizetype open = description.lastIndexOf(QLatin1Char('('));
        if (open > 0 && description.endsWith(QLatin1Char(')'))) {
            description.truncate(open);
        }
        filters.append(description.trimmed() + QStringLiteral(" (") +
                       patterns.join(QLatin1Char(' ')) + QLatin1Char(')'));
    }
    return filters.join(QStringLiteral(";;"));
}

void TEditPath::LayoutButton() {
    const int w = width();
    const int h = height();
    const int b = h;
    // Positions are taken from the text area inside the frame.
    if (hasFrame()) {
        const int inset = 2;
        BrowseButton->setGeometry(inset + w - b - 5, inset, b, h - 5);
    } else {
        BrowseButton->setGeometry(w - b, 1, b, h - 1);
    }
    // Text never runs under the button.
    setTextMargins(0, 0, BrowseButton->width() + 2, 0);
}

void TEditPath::resizeEvent(QResizeEvent* event) {
    QLineEdit::resizeEvent(event);
    if (height() < 5) {
        resize(width(), 5);
        return;
    }
    LayoutButton();
}

void TEditPath::changeEvent(QEvent* event) {
    if (event->type() == QEvent::EnabledChange) {
        QPalette pal = palette();
        if (!isEnabled()) {
            SavedColor = pal.color(QPalette::Active, QPalette::Base);
            pal.setColor(QPalette::Base, ResolveColor(DisabledColor, pal));
        } else {
            pal.setColor(QPalette::Base, SavedColor);
        }
        setPalette(pal);
    }
    QLineEdit::changeEvent(event);
}

void TEditPath::focusInEvent(QFocusEvent* event) {
    QLineEdit::focusInEvent(event);
    if (event->reason() != Qt::MouseFocusReason) {
        selectAll();
    }
}

void TEditPath::keyPressEvent(QKeyEvent* event) {
    if (IsCutOrPaste(event) && !CutPasteAllowed()) {
        event->accept();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

void TEditPath::contextMenuEvent(QContextMenuEvent* event) {
    QMenu* menu = createStandardContextMenu();
    menu->setAttribute(Qt::WA_DeleteOnClose);
    // The standard menu's entries are known by their (translated) captions.
    const QString cut = QLineEdit::tr("Cu&t");
    const QString paste = QLineEdit::tr("&Paste");
    for (QAction* action : menu->actions()) {
        const QString caption = action->text();
        const bool isCut = caption == cut || caption.startsWith(cut + QLatin1Char('\t'));
        const bool isPaste = caption == paste || caption.startsWith(paste + QLatin1Char('\t'));
        if (isCut || isPaste) {
            action->setObjectName(isCut ? QStringLiteral("edit-cut")
                                        : QStringLiteral("edit-paste"));
            action->setEnabled(action->isEnabled() && CutPasteAllowed());
        }
    }
    menu->popup(event->globalPos());
}

void TEditPath::mousePressEvent(QMouseEvent* event) {
    // The middle button pastes the selection on this system.
    if (event->button() == Qt::MiddleButton && !CutPasteAllowed()) {
        event->accept();
        return;
    }
    QLineEdit::mousePressEvent(event);
}

void TEditPath::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::MiddleButton && !CutPasteAllowed()) {
        event->accept();
        return;
    }
    QLineEdit::mouseReleaseEvent(event);
}

void TEditPath::dropEvent(QDropEvent* event) {
    // A drop is a paste by the mouse.
    if (!CutPasteAllowed()) {
        event->ignore();
        return;
    }
    QLineEdit::dropEvent(event);
}

void TEditPath::Cut() {
    if (CutPasteAllowed()) {
        cut();
    }
}

void TEditPath::Paste() {
    if (CutPasteAllowed()) {
        paste();
    }
}

} // namespace tabula
