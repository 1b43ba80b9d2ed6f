#pragma once

#include <QImage>
#include <QWidget>

namespace tabula {

// A picture stretched over the whole control, drawn without the pixels that
// have the colour of its bottom-left pixel.
class TTransparentImage : public QWidget {
    Q_OBJECT
public:
    explicit TTransparentImage(QWidget* parent = nullptr);

    // The picture as given.
    const QImage& Picture() const { return picture_; }
    void SetPicture(const QImage& picture);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage picture_;
    QImage masked_;
};

} // namespace tabula
