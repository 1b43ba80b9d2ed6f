#pragma once

#include "core/progress/ProgressPosition.h"
#include "gui/widgets/ProgressForm.h"

#include <QImage>
#include <QObject>
#include <QPointer>
#include <QString>

#include <memory>

namespace tabula {

// A long operation's view of the progress window: show it while the owner
// window is disabled, move the percentage bar, change the line of text, and
// learn through OnCancel that the user pressed Cancel. The operation runs on
// the GUI thread; the position and text setters handle pending events, which
// is when the window repaints and a click on Cancel arrives.
class TProgressFrm : public QObject {
    Q_OBJECT
public:
    explicit TProgressFrm(QObject* owner = nullptr);
    ~TProgressFrm() override;

    // Disables owner, enables Cancel, shows the window and handles pending
    // events once.
    void ShowProgress(QWidget* owner);
    // Enables the owner again, hides the window and returns to Min 0, Max 100,
    // Position 0 and one phase, with the bar back at its start.
    void HideProgress();

    int Min() const { return position_.Min(); }
    int Max() const { return position_.Max(); }
    void SetMin(int value) { position_.SetMin(value); }
    void SetMax(int value) { position_.SetMax(value); }
    int NbPhase() const { return position_.NbPhase(); }
    void SetNbPhase(int value) { position_.SetNbPhase(value); }
    int CurrentPhase() const { return position_.CurrentPhase(); }
    double PercentScale() const { return position_.PercentScale(); }

    // The stored overall position.
    int Position() const { return position_.Position(); }
    // The position update: moves the bar, handles pending events and keeps
    // the cursor as it was.
    void SetPosition(int value);

    QString WaitString() const;
    // Shows the text at once: pending events are handled after it is set.
    void SetWaitString(const QString& value);
    QString Title() const;
    void SetTitle(const QString& value);
    const QImage& BitMap() const;
    void SetBitMap(const QImage& value);
    bool ShowCancelButton() const;
    void SetShowCancelButton(bool value);
    TCancelEvent OnCancel() const;
    void SetOnCancel(TCancelEvent value);

    TProgressForm* Form() const { return form_.get(); }

private:
    static void Pump();

    std::unique_ptr<TProgressForm> form_;
    QPointer<QWidget> owner_;
    TProgressPosition position_;
};

} // namespace tabula
