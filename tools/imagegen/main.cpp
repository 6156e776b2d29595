// Draws the wizard's images from scratch, so that anyone can redraw or
// restyle them: run it with the resources' image folder as its argument and
// commit what it writes.

#include <QDir>
#include <QFile>
#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QTextStream>

#include <cstdio>
#include <functional>

#include "icowriter.h"
#include "tools/common/outputfolder.h"

namespace {

const QColor Banner(0x00, 0xa3, 0x35);
const QColor GreenNormal(0x59, 0xab, 0x32);
const QColor GreenHover(0x6f, 0xbf, 0x49);
const QColor GreenPressed(0x45, 0x7f, 0x28);
const QColor RedNormal(0xd2, 0x4d, 0x57);
const QColor RedHover(0xf2, 0x50, 0x5c);
const QColor RedPressed(0xa3, 0x25, 0x2f);
const QColor Disabled(0xbd, 0xbd, 0xbd);

// Greys of the line drawings, from outline to fill.
const QColor GreyDark(0x75, 0x75, 0x75);
const QColor GreyMid(0x9e, 0x9e, 0x9e);
const QColor GreyLight(0xd6, 0xd6, 0xd6);
const QColor GreyPale(0xee, 0xee, 0xee);

// An image of the size, filled with the background, handed to paint with a
// painter set up for smooth drawing; at `scale`, the same drawing with that
// many pixels to each of its own.
QImage draw(int w, int h, const std::function<void(QPainter &)> &paint, const QColor &background = Qt::transparent,
            int scale = 1)
{
    QImage image(w * scale, h * scale, QImage::Format_ARGB32_Premultiplied);
    image.fill(background);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.scale(scale, scale);
    paint(p);
    p.end();
    return image;
}

// name.png and name@2x.png, which Qt takes on a screen scaled to 150 % and
// more: drawn again at twice the pixels, not enlarged, so that they stay sharp.
bool saveScaled(const QDir &dir, const QString &name, int w, int h, const std::function<void(QPainter &)> &paint,
                const QColor &background = Qt::transparent)
{
    return savePng(dir, name + QStringLiteral(".png"), draw(w, h, paint, background))
           & savePng(dir, name + QStringLiteral("@2x.png"), draw(w, h, paint, background, 2));
}

QFont sans(int pixelSize, int weight)
{
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(pixelSize);
    font.setWeight(weight);
    return font;
}

// The chevron that stands for ">" (or "<" when pointing left).
void chevron(QPainter &p, QPointF centre, qreal height, bool right, const QColor &colour, qreal width)
{
    const qreal half = height / 2;
    const qreal depth = half * 0.75;
    const qreal dir = right ? 1 : -1;
    QPainterPath path;
    path.moveTo(centre.x() - dir * depth / 2, centre.y() - half);
    path.lineTo(centre.x() + dir * depth / 2, centre.y());
    path.lineTo(centre.x() - dir * depth / 2, centre.y() + half);
    QPen pen(colour, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.strokePath(path, pen);
}

enum class Mark { None, After, Before };

const int ButtonWidth = 93, ButtonHeight = 30;

void button(QPainter &p, const QString &label, const QColor &fill, Mark mark, bool pressed)
{
    const int w = ButtonWidth, h = ButtonHeight;

    p.setPen(Qt::NoPen);
    p.setBrush(fill);
    p.drawRoundedRect(QRectF(0.5, 0.5, w - 1, h - 1), 4, 4);
    if (!pressed) {
        // A faint lower edge gives the flat button a little depth.
        p.setBrush(QColor(0, 0, 0, 28));
        QPainterPath edge;
        edge.addRoundedRect(QRectF(0.5, 0.5, w - 1, h - 1), 4, 4);
        QPainterPath cut;
        cut.addRect(QRectF(0, 0, w, h - 2.5));
        p.drawPath(edge.subtracted(cut));
    }

    const qreal markWidth = mark == Mark::None ? 0 : 10;
    int size = 13;
    QFont font = sans(size, QFont::Bold);
    while (QFontMetricsF(font).horizontalAdvance(label) + markWidth > w - 14 && size > 9)
        font = sans(--size, QFont::Bold);
    const QFontMetricsF fm(font);
    const qreal textWidth = fm.horizontalAdvance(label);
    const qreal total = textWidth + markWidth;
    const qreal shift = pressed ? 1 : 0;
    qreal x = (w - total) / 2;
    const qreal midY = h / 2.0 + shift - 0.5;

    if (mark == Mark::Before) {
        chevron(p, QPointF(x + 3, midY), 9, false, Qt::white, 2);
        x += markWidth;
    }
    p.setFont(font);
    p.setPen(Qt::white);
    const qreal baseline = midY + (fm.ascent() - fm.descent()) / 2;
    p.drawText(QPointF(x, baseline), label);
    if (mark == Mark::After)
        chevron(p, QPointF(x + textWidth + markWidth - 3, midY), 9, true, Qt::white, 2);
}

const int BannerWidth = 168, BannerHeight = 430;

void banner(QPainter &p)
{
    const int w = BannerWidth, h = BannerHeight;

    // Soft, lighter bands in the lower half keep the flat green from looking
    // empty without drawing the eye away from the page.
    p.setPen(Qt::NoPen);
    for (int i = 0; i < 3; ++i) {
        QPainterPath wave;
        const qreal top = 300 + i * 38;
        wave.moveTo(0, top + 20);
        wave.cubicTo(50, top - 10, 110, top + 40, w, top);
        wave.lineTo(w, h);
        wave.lineTo(0, h);
        wave.closeSubpath();
        p.setBrush(QColor(255, 255, 255, 16));
        p.drawPath(wave);
    }

    // Wordmark: an emblem (a panel with a tick) over the maker's name.
    const QRectF emblem(w / 2.0 - 22, 26, 44, 44);
    p.setBrush(Qt::white);
    p.drawRoundedRect(emblem, 9, 9);
    QPainterPath tick;
    tick.moveTo(emblem.left() + 11, emblem.center().y() + 1);
    tick.lineTo(emblem.left() + 19, emblem.center().y() + 9);
    tick.lineTo(emblem.right() - 10, emblem.top() + 13);
    p.strokePath(tick, QPen(Banner, 5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));

    QFont word = sans(24, QFont::Bold);
    word.setLetterSpacing(QFont::AbsoluteSpacing, 0.5);
    p.setFont(word);
    p.setPen(Qt::white);
    p.drawText(QRectF(0, 78, w, 32), Qt::AlignCenter, QStringLiteral("Varnelis"));

    p.setPen(QPen(QColor(255, 255, 255, 150), 1));
    p.drawLine(QPointF(34, 116.5), QPointF(w - 34, 116.5));

    p.setFont(sans(12, QFont::Normal));
    p.setPen(QColor(255, 255, 255, 230));
    p.drawText(QRectF(0, 120, w, 20), Qt::AlignCenter, QStringLiteral("1.0.4"));
}

void arrowDown(QPainter &p)
{
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x44, 0x44, 0x44));
    p.drawPolygon(QPolygonF({QPointF(1, 1.5), QPointF(11, 1.5), QPointF(6, 7)}));
}

void tick(QPainter &p)
{
    QPainterPath path;
    path.moveTo(2.5, 8.5);
    path.lineTo(6.5, 12.5);
    path.lineTo(13.5, 3.5);
    p.strokePath(path, QPen(GreenNormal, 2.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
}

void cross(QPainter &p)
{
    QPen pen(RedNormal, 2.6, Qt::SolidLine, Qt::RoundCap);
    p.setPen(pen);
    p.drawLine(QPointF(3.5, 3.5), QPointF(12.5, 12.5));
    p.drawLine(QPointF(12.5, 3.5), QPointF(3.5, 12.5));
}

void errorSign(QPainter &p)
{
    QPainterPath triangle;
    triangle.moveTo(37, 4);
    triangle.lineTo(70, 60);
    triangle.lineTo(4, 60);
    triangle.closeSubpath();
    p.setPen(QPen(RedNormal, 6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(RedNormal);
    p.drawPath(triangle);

    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    QPainterPath bar;
    bar.moveTo(33.5, 22);
    bar.lineTo(40.5, 22);
    bar.lineTo(39, 44);
    bar.lineTo(35, 44);
    bar.closeSubpath();
    p.drawPath(bar);
    p.drawEllipse(QPointF(37, 51), 3.6, 3.6);
}

void arrowPointer(QPainter &p, QPointF tip, QPointF tail, const QColor &colour)
{
    QPen pen(colour, 4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(pen);
    p.drawLine(tail, tip);
    const QLineF line(tip, tail);
    QLineF a = line;
    a.setLength(14);
    a.setAngle(line.angle() + 30);
    QLineF b = line;
    b.setLength(14);
    b.setAngle(line.angle() - 30);
    p.setBrush(colour);
    p.drawPolygon(QPolygonF({tip, a.p2(), b.p2()}));
}

// The panel's front: a closed box with its keypad, display and the round
// opening button at the bottom, with the arrow that points to the button.
void panelFront(QPainter &p)
{

    const QRectF box(58, 8, 130, 178);
    p.setPen(QPen(GreyDark, 2.5));
    p.setBrush(GreyPale);
    p.drawRoundedRect(box, 12, 12);
    p.setPen(QPen(GreyMid, 1.5));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(box.adjusted(7, 7, -7, -7), 7, 7);

    // Display and keypad.
    p.setPen(QPen(GreyDark, 1.5));
    p.setBrush(GreyLight);
    p.drawRoundedRect(QRectF(box.left() + 22, box.top() + 22, box.width() - 44, 28), 3, 3);
    p.setBrush(GreyMid);
    p.setPen(Qt::NoPen);
    for (int row = 0; row < 4; ++row)
        for (int col = 0; col < 3; ++col)
            p.drawRoundedRect(QRectF(box.left() + 30 + col * 25, box.top() + 62 + row * 18, 18, 11), 2, 2);

    // The round button that opens the panel.
    const QPointF knob(box.center().x(), box.bottom() - 22);
    p.setPen(QPen(GreyDark, 2.5));
    p.setBrush(GreyLight);
    p.drawEllipse(knob, 11, 11);
    p.setPen(Qt::NoPen);
    p.setBrush(GreyDark);
    p.drawEllipse(knob, 4, 4);

    arrowPointer(p, QPointF(knob.x() + 18, knob.y() - 2), QPointF(238, knob.y() - 34), GreyDark);
}

// Computer, USB cable and panel, left to right.
void connectDrawing(QPainter &p)
{
    const QPen outline(GreyDark, 2.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);

    // Monitor and stand.
    p.setPen(outline);
    p.setBrush(GreyPale);
    p.drawRoundedRect(QRectF(6, 6, 118, 78), 6, 6);
    p.setBrush(GreyLight);
    p.drawRect(QRectF(14, 14, 102, 60));
    p.setBrush(GreyMid);
    p.drawRect(QRectF(56, 84, 18, 14));
    p.drawRoundedRect(QRectF(36, 98, 58, 8), 3, 3);

    // Cable from the computer's side to the panel, with a plug at each end.
    QPainterPath cable;
    cable.moveTo(138, 60);
    cable.cubicTo(190, 110, 230, 10, 276, 58);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(GreyMid, 4, Qt::SolidLine, Qt::RoundCap));
    p.drawPath(cable);
    p.setPen(outline);
    p.setBrush(GreyLight);
    p.drawRoundedRect(QRectF(124, 52, 18, 16), 2, 2);
    p.drawRoundedRect(QRectF(272, 50, 18, 16), 2, 2);
    // The USB trident on the cable.
    p.setPen(QPen(GreyDark, 2, Qt::SolidLine, Qt::RoundCap));
    const QPointF c(206, 62);
    p.drawLine(c + QPointF(-12, 0), c + QPointF(12, 0));
    p.drawLine(c + QPointF(-4, 0), c + QPointF(2, -7));
    p.drawLine(c + QPointF(2, -7), c + QPointF(8, -7));
    p.drawLine(c + QPointF(0, 0), c + QPointF(5, 7));
    p.drawLine(c + QPointF(5, 7), c + QPointF(9, 7));
    p.setBrush(GreyDark);
    p.drawPolygon(QPolygonF({c + QPointF(15, 0), c + QPointF(10, -3), c + QPointF(10, 3)}));
    p.drawEllipse(c + QPointF(-13, 0), 2.5, 2.5);

    // The panel.
    p.setPen(outline);
    p.setBrush(GreyPale);
    const QRectF box(300, 8, 100, 98);
    p.drawRoundedRect(box, 9, 9);
    p.setBrush(GreyLight);
    p.drawRoundedRect(QRectF(box.left() + 14, box.top() + 12, box.width() - 28, 20), 3, 3);
    p.setPen(Qt::NoPen);
    p.setBrush(GreyMid);
    for (int row = 0; row < 3; ++row)
        for (int col = 0; col < 3; ++col)
            p.drawRoundedRect(QRectF(box.left() + 20 + col * 22, box.top() + 42 + row * 16, 15, 10), 2, 2);
}

// A mains plug with its cord, about to go into a wall socket.
void powerDrawing(QPainter &p)
{
    const QPen outline(GreyDark, 2.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);

    // Cord.
    QPainterPath cord;
    cord.moveTo(4, 80);
    cord.cubicTo(40, 100, 60, 30, 96, 54);
    p.setPen(QPen(GreyMid, 5, Qt::SolidLine, Qt::RoundCap));
    p.drawPath(cord);

    // Plug body and pins.
    p.setPen(outline);
    p.setBrush(GreyLight);
    QPainterPath body;
    body.moveTo(96, 40);
    body.lineTo(110, 30);
    body.lineTo(150, 30);
    body.lineTo(150, 80);
    body.lineTo(110, 80);
    body.lineTo(96, 70);
    body.closeSubpath();
    p.drawPath(body);
    p.setBrush(GreyMid);
    p.drawRoundedRect(QRectF(150, 38, 22, 6), 3, 3);
    p.drawRoundedRect(QRectF(150, 66, 22, 6), 3, 3);
    p.drawRoundedRect(QRectF(150, 52, 16, 6), 3, 3);

    // Motion marks between plug and socket.
    p.setPen(QPen(GreyMid, 2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(182, 42), QPointF(194, 42));
    p.drawLine(QPointF(180, 55), QPointF(196, 55));
    p.drawLine(QPointF(182, 68), QPointF(194, 68));

    // Socket plate with its recess and three holes.
    p.setPen(outline);
    p.setBrush(GreyPale);
    p.drawRoundedRect(QRectF(206, 6, 90, 98), 10, 10);
    p.setBrush(GreyLight);
    p.drawEllipse(QPointF(251, 55), 30, 30);
    p.setPen(Qt::NoPen);
    p.setBrush(GreyDark);
    p.drawEllipse(QPointF(239, 48), 4.5, 4.5);
    p.drawEllipse(QPointF(263, 48), 4.5, 4.5);
    p.drawEllipse(QPointF(251, 68), 4.5, 4.5);
}

void downloadSymbol(QPainter &p)
{
    const QColor grey(0x8a, 0x8a, 0x8a);
    p.setPen(QPen(grey, 10));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QPointF(103.5, 103.5), 92, 92);

    p.setPen(Qt::NoPen);
    p.setBrush(grey);
    QPainterPath arrow;
    arrow.moveTo(90, 40);
    arrow.lineTo(117, 40);
    arrow.lineTo(117, 98);
    arrow.lineTo(140, 98);
    arrow.lineTo(103.5, 138);
    arrow.lineTo(67, 98);
    arrow.lineTo(90, 98);
    arrow.closeSubpath();
    p.drawPath(arrow);
    p.drawRoundedRect(QRectF(58, 148, 91, 12), 4, 4);
}

// The application icon, drawn at each size rather than scaled, so that the
// small sizes stay sharp: a green tile with an arrow going down into a chip.
void appIcon(QPainter &p, int size)
{
    const qreal s = size;
    p.setPen(Qt::NoPen);
    p.setBrush(Banner);
    p.drawRoundedRect(QRectF(0.5, 0.5, s - 1, s - 1), s * 0.18, s * 0.18);

    p.setBrush(Qt::white);
    const qreal cx = s / 2;
    p.drawRect(QRectF(cx - s * 0.08, s * 0.12, s * 0.16, s * 0.24));
    p.drawPolygon(QPolygonF({QPointF(cx - s * 0.21, s * 0.34), QPointF(cx + s * 0.21, s * 0.34),
                             QPointF(cx, s * 0.55)}));

    const QRectF chip(s * 0.27, s * 0.61, s * 0.46, s * 0.25);
    p.drawRoundedRect(chip, s * 0.04, s * 0.04);
    const qreal pinW = qMax<qreal>(1.5, s * 0.06);
    for (int i = 0; i < 3; ++i) {
        const qreal x = chip.left() + chip.width() * (i + 0.5) / 3 - pinW / 2;
        p.drawRect(QRectF(x, chip.bottom(), pinW, s * 0.07));
    }
}

} // namespace

int main(int argc, char *argv[])
{
    QDir dir;
    if (const int failed = openOutputFolder(argc, argv, "IMAGE_FOLDER", &dir))
        return failed;
    QGuiApplication app(argc, argv);

    bool ok = saveScaled(dir, QStringLiteral("background"), BannerWidth, BannerHeight, banner, Banner);

    struct Set {
        const char *name;
        QString label;
        Mark mark;
        QColor normal, hover, pressed;
    };
    const Set sets[] = {
        {"next", QString::fromUtf8("Próximo"), Mark::After, GreenNormal, GreenHover, GreenPressed},
        {"back", QStringLiteral("Anterior"), Mark::Before, GreenNormal, GreenHover, GreenPressed},
        {"finish", QStringLiteral("Concluir"), Mark::None, GreenNormal, GreenHover, GreenPressed},
        {"find", QStringLiteral("Procurar"), Mark::None, GreenNormal, GreenHover, GreenPressed},
        {"cancel", QStringLiteral("Cancelar"), Mark::None, RedNormal, RedHover, RedPressed},
    };
    for (const Set &set : sets) {
        const struct {
            const char *suffix;
            QColor fill;
        } states[] = {{"", set.normal}, {"_hover", set.hover}, {"_pressed", set.pressed}, {"_disabled", Disabled}};
        for (const auto &state : states) {
            const bool pressed = qstrcmp(state.suffix, "_pressed") == 0;
            ok &= saveScaled(dir, QStringLiteral("%1%2").arg(QLatin1String(set.name), QLatin1String(state.suffix)),
                             ButtonWidth, ButtonHeight,
                             [&](QPainter &p) { button(p, set.label, state.fill, set.mark, pressed); });
        }
    }

    const struct {
        const char *name;
        int width, height;
        void (*paint)(QPainter &);
    } drawings[] = {
        {"arrow_down", 12, 8, arrowDown},
        {"icon_v", 16, 16, tick},
        {"icon_x", 16, 16, cross},
        {"icon_error", 74, 64, errorSign},
        {"plataforma_plug", 250, 194, panelFront},
        {"icon_connect", 408, 113, connectDrawing},
        {"icon_power", 302, 109, powerDrawing},
        {"icon_download", 207, 207, downloadSymbol},
    };
    for (const auto &drawing : drawings)
        ok &= saveScaled(dir, QLatin1String(drawing.name), drawing.width, drawing.height, drawing.paint);

    QList<QImage> icons;
    for (int size : {20, 24, 32, 40, 48, 64})
        icons.append(draw(size, size, [size](QPainter &p) { appIcon(p, size); }));
    QFile ico(dir.filePath(QStringLiteral("bootloaderwizardapp.ico")));
    if (ico.open(QIODevice::WriteOnly) && ico.write(writeIco(icons)) >= 0 && ico.flush()) {
        std::printf("%s 20 24 32 40 48 64\n", qPrintable(ico.fileName()));
    } else {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(ico.fileName()));
        ok = false;
    }
    return ok ? 0 : 1;
}
