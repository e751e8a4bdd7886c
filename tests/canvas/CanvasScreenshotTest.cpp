// A composed post on the canvas in a real window: photos, headings, text, a selection and a
// drop indicator. With PELLORA_SCREENSHOT set to a path, the window is also saved there as PNG
// (run under xvfb-run with QT_QPA_PLATFORM=xcb to see it as on screen).

#include "CanvasTestSupport.h"

#include <QPainterPath>
#include <QScrollBar>

using canvas_test::CanvasFixture;
using canvas_test::Photo;

namespace {

// A landscape: sky, sun and two hills, in the photo's own colour.
bool writeLandscape(const QString& path, const Photo& photo)
{
    QImage image(photo.width, photo.height, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 0, photo.height);
    sky.setColorAt(0.0, photo.colour.lighter(170));
    sky.setColorAt(0.7, photo.colour.lighter(115));
    painter.fillRect(image.rect(), sky);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(255, 236, 190));
    painter.drawEllipse(QPointF(photo.width * 0.72, photo.height * 0.32), photo.height * 0.09, photo.height * 0.09);
    const double w = photo.width, h = photo.height;
    QPainterPath far;
    far.moveTo(0, h * 0.62);
    far.cubicTo(w * 0.25, h * 0.45, w * 0.45, h * 0.7, w, h * 0.55);
    far.lineTo(w, h);
    far.lineTo(0, h);
    painter.setBrush(photo.colour.darker(140));
    painter.drawPath(far);
    QPainterPath near;
    near.moveTo(0, h * 0.85);
    near.cubicTo(w * 0.3, h * 0.68, w * 0.6, h * 0.95, w, h * 0.78);
    near.lineTo(w, h);
    near.lineTo(0, h);
    painter.setBrush(photo.colour.darker(220));
    painter.drawPath(near);
    painter.end();
    return image.save(path, "JPG", 92);
}

class CanvasScreenshot : public CanvasFixture {
protected:
    QList<Photo> photos() const override
    {
        return {{"coast.jpg", 1500, 1000, QColor(70, 130, 180)},
                {"dunes.jpg", 1000, 1500, QColor(205, 133, 63)},
                {"forest.jpg", 1200, 800, QColor(60, 140, 80)},
                {"dusk.jpg", 1600, 900, QColor(150, 90, 160)},
                {"field.jpg", 1000, 1000, QColor(190, 170, 60)}};
    }
    bool writePhotoFile(const QString& path, const Photo& photo) const override { return writeLandscape(path, photo); }
};

} // namespace

TEST_F(CanvasScreenshot, AComposedPostWithASelection)
{
    layout()->set_padding(16);
    PLRSection* section = layoutManager()->addNewSection();
    PLRBlockPtr title = PLRLayoutManager::newBlock_Text();
    title->mutable_text()->set_style(PLRBlock_Text::HEADER1);
    title->mutable_text()->mutable_position()->set_alignment(PLRPosition::CENTRE);
    title->mutable_text()->set_value("A Week on the Northern Coast");
    layoutManager()->addBlock(std::move(title), nullptr, section);
    PLRBlockPtr intro = PLRLayoutManager::newBlock_Text();
    intro->mutable_text()->mutable_position()->set_alignment(PLRPosition::CENTRE);
    intro->mutable_text()->mutable_position()->set_width(float(PLRLayoutManager::widthValueForTextWidth(2)));
    intro->mutable_text()->set_value("Seven days of wind, light and long walks between the dunes and the forest. "
                                     "These are the frames I kept, in the order the days gave them to me.");
    layoutManager()->addBlock(std::move(intro), nullptr, section);
    PLRBlock* coast = addImage("coast.jpg", section);
    canvas()->refresh();
    // The rest arrive as drops: a row beside the coast, then a photo below it.
    ASSERT_TRUE(dropPhotos({"dunes.jpg"}, pointIn(coast, 0.97, 0.5)));
    canvas()->refresh();
    PLRBlockPtr middle = PLRLayoutManager::newBlock_Text();
    middle->mutable_text()->set_style(PLRBlock_Text::HEADER3);
    middle->mutable_text()->set_value("Evening");
    layoutManager()->addBlock(std::move(middle), nullptr, section);
    PLRBlock* forest = addImage("forest.jpg", section);
    canvas()->refresh();
    QList<PLRBlock*> placed;
    ASSERT_TRUE(dropPhotos({"dusk.jpg", "field.jpg"}, pointIn(forest, 0.97, 0.5), &placed));
    ASSERT_EQ(placed.size(), 2);

    controller->widget()->resize(1180, 900);
    controller->setZoom(70);
    canvas()->refresh();
    layoutManager()->selectBlocks({placed.first()});
    click(pointIn(placed.first()));
    sendMouse(QEvent::MouseMove, pointIn(placed.last()));   // hover
    controller->scrollView()->verticalScrollBar()->setValue(0);
    testing_support::drainEvents();

    const QImage shot = controller->widget()->grab().toImage();
    if (const QString path = qEnvironmentVariable("PELLORA_SCREENSHOT"); !path.isEmpty()) {
        EXPECT_TRUE(shot.save(path, "PNG"));
    }
    ASSERT_FALSE(shot.isNull());

    // The page is white in the desk's grey, the photos are drawn, the selection is outlined.
    const QPoint onDesk(5, 300);
    EXPECT_EQ(shot.pixelColor(onDesk), QColor(0xEE, 0xEE, 0xEF));
    const PLRBlock& firstRow = layout()->sections(0).blocks(2);
    ASSERT_EQ(firstRow.container().sub_blocks_size(), 2);
    const QRectF coastRect = canvas()->viewRectForBlock(&firstRow.container().sub_blocks(0));
    ASSERT_FALSE(coastRect.isEmpty());
    const QPoint inCoast = canvas()->mapTo(controller->widget(), coastRect.center().toPoint());
    const QColor coastPixel = shot.pixelColor(inCoast);
    EXPECT_GT(coastPixel.blue(), coastPixel.red());   // the coast's blue sky and hills
    const QRectF selected = canvas()->viewRectForBlock(placed.first());
    const QPoint edge = canvas()->mapTo(controller->widget(), QPoint(int(selected.center().x()), int(selected.top()) + 1));
    EXPECT_EQ(shot.pixelColor(edge), QColor(0x21, 0x9D, 0xFF));
}
