#pragma once
// The welcome window's background: a deep blue vertical gradient with three soft glows (teal top
// left, pink right, yellow at the bottom), and three large coloured blobs that drift slowly round
// ellipses and breathe. The gradient and glows are painted once per size and kept; the blobs are
// placed at the first layout with a width and, unless the desktop asks for reduced motion then,
// move for as long as the view lives.

#include <QImage>
#include <QPixmap>
#include <QWidget>

#include <vector>

class MotionTarget;

class HeroBand : public QWidget {
    Q_OBJECT
public:
    explicit HeroBand(QWidget* parent = nullptr);
    ~HeroBand() override;

    struct Blob {
        QColor color;
        double alpha = 0;
        double diameter = 0;  // the gradient fills diameter × 0.8 diameter
        double cx = 0, cy = 0;  // centre, fractions of the size (y upwards)
        double ax = 0, ay = 0;  // drift radii, fractions of the size
        double period = 0;      // seconds per round
    };
    static const std::vector<Blob>& blobTable();

    // The blobs made so far (none before the first layout with a width), with their motion.
    struct Shape {
        Blob blob;
        QPointF centre;  // in the view, y downwards
        MotionTarget* motion = nullptr;
        QImage image;
    };
    const std::vector<Shape>& shapes() const { return shapes_; }
    // A blob's centre in the view now.
    QPointF shapeCentre(std::size_t index) const;
    double shapeScale(std::size_t index) const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void makeShapes();
    const QPixmap& background();

    std::vector<Shape> shapes_;
    QPixmap background_;
};
