#pragma once

#include "core/progress/WinColor.h"

#include <QAbstractButton>
#include <QColor>
#include <QLineEdit>
#include <QString>

#include <functional>
#include <optional>

namespace tabula {

// Which chooser the browse button opens.
enum class TDirDialog { ddFileBrowser, ddDirBrowser, ddDirDialog };

// Options of the directory chooser, any combination.
enum TSelectDirOpt : unsigned { sdAllowCreate = 1, sdPerformCreate = 2, sdPrompt = 4 };
using TSelectDirOpts = unsigned;

// The browse button inside the path box: drawn with its folder glyph (a paler
// one while disabled), flat or raised, never taking the keyboard focus.
class TBrowseButton : public QAbstractButton {
    Q_OBJECT
public:
    explicit TBrowseButton(QWidget* parent = nullptr);
    void SetFlat(bool flat);
    void SetTransparent(bool transparent);
    bool Flat() const { return flat_; }
    bool Transparent() const { return transparent_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    bool flat_ = false;
    bool transparent_ = false;
    bool hovered_ = false;
};

// A one-line box for a file or directory path with a browse button inside its
// right-hand end: typing edits the path, a click on the button opens a
// chooser, puts the chosen path in the box and then calls OnBtnClick.
class TEditPath : public QLineEdit {
    Q_OBJECT
public:
    explicit TEditPath(QWidget* parent = nullptr);

    TDirDialog DirDialogType = TDirDialog::ddFileBrowser;
    TSelectDirOpts DirDialogOptions = 0;
    QString RootDir = QStringLiteral("c\\:");
    QString Title = QStringLiteral("Title");
    QString FileName;
    QString Filter = QStringLiteral("exe file (*.exe)|*.EXE");
    // Background while disabled; taken at the next disabling.
    TColor DisabledColor = SystemColor(11);
    // When false, cut and paste are refused; typing still works.
    bool EditorEnabled = true;
    // Called with the box after every click on the browse button.
    std::function<void(TEditPath* sender)> OnBtnClick;

    TBrowseButton* BrowseButton = nullptr;
    // The background colour remembered while the box is disabled.
    QColor SavedColor;

    bool FlatButton() const { return BrowseButton->Flat(); }
    void SetFlatButton(bool value) { BrowseButton->SetFlat(value); }
    bool TransparentButton() const { return BrowseButton->Transparent(); }
    void SetTransparentButton(bool value) { BrowseButton->SetTransparent(value); }

    // The button's click: beeps for a read-only box (which opens nothing),
    // else opens the chooser of DirDialogType and puts the confirmed path in
    // the box (a directory with a trailing "/"); then OnBtnClick.
    virtual void BrowseClick();

    // Asks for a path: the chooser of kind, starting in startDir. Empty when
    // cancelled. The real choosers unless a test puts in its own.
    using TChooser = std::function<std::optional<QString>(TEditPath& box, TDirDialog kind,
                                                          const QString& startDir)>;
    TChooser Chooser;

    // Cut and paste as the context menu and the keys do them: refused when
    // EditorEnabled is false or the box is read-only.
    void Cut();
    void Paste();
    bool CutPasteAllowed() const { return EditorEnabled && !isReadOnly(); }

    // A Windows file filter ("description|pattern|..." pairs) in Qt's form.
    static QString QtFilter(const QString& filter);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void LayoutButton();
    static std::optional<QString> RunChooser(TEditPath& box, TDirDialog kind,
                                             const QString& startDir);
};

} // namespace tabula
