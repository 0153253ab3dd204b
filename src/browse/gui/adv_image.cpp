#include "browse/gui/adv_image.h"

#include <QFile>
#include <QPainter>
#include <QToolTip>

#include "browse/picture.h"
#include "util/file_writer.h"

namespace zafirel {

namespace {

QImage ToQImage(const Picture& picture) {
  QImage image(picture.width, picture.height, QImage::Format_RGB888);
  const std::size_t rowBytes = static_cast<std::size_t>(picture.width) * 3;
  for (int y = 0; y < picture.height; ++y)
    std::copy_n(picture.rgb.data() + static_cast<std::size_t>(y) * rowBytes, rowBytes,
                image.scanLine(y));
  return image;
}

Picture FromQImage(const QImage& source) {
  const QImage image = source.convertToFormat(QImage::Format_RGB888);
  Picture picture{image.width(), image.height(), {}};
  const std::size_t rowBytes = static_cast<std::size_t>(image.width()) * 3;
  picture.rgb.resize(rowBytes * static_cast<std::size_t>(image.height()));
  for (int y = 0; y < image.height(); ++y)
    std::copy_n(image.constScanLine(y), rowBytes,
                picture.rgb.data() + static_cast<std::size_t>(y) * rowBytes);
  return picture;
}

}  // namespace

TAdvImage::TAdvImage(QWidget* parent) : QFrame(parent), JPEGCompressionQuality(kCoverJpegQuality) {
  setFrameStyle(QFrame::Panel | QFrame::Sunken);
  setLineWidth(1);
  setAutoFillBackground(true);
  QPalette pal = palette();
  pal.setColor(QPalette::Window, QToolTip::palette().color(QPalette::ToolTipBase));
  pal.setColor(QPalette::ToolTipText, QToolTip::palette().color(QPalette::ToolTipText));
  setPalette(pal);
  ShowChange();
}

bool TAdvImage::LoadJpeg(const std::string& bytes) {
  Clear();
  const std::optional<Picture> picture = DecodeJpeg(bytes);
  if (!picture) return false;
  image_ = ToQImage(*picture);
  jpeg_ = bytes;
  type_ = ImageType::Jpeg;
  ShowChange();
  return true;
}

bool TAdvImage::LoadFromFile(const QString& path) {
  Clear();
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return false;
  const QByteArray data = file.readAll();
  const std::string bytes(data.constData(), static_cast<std::size_t>(data.size()));
  if (LooksLikeJpeg(bytes)) return LoadJpeg(bytes);
  QImage image;
  if (!image.loadFromData(data)) return false;
  image_ = image;
  type_ = data.startsWith("BM") ? ImageType::Bitmap : ImageType::Other;
  ShowChange();
  return true;
}

void TAdvImage::Clear() {
  image_ = QImage();
  jpeg_.clear();
  type_ = ImageType::None;
  ShowChange();
}

bool TAdvImage::ConvertToJpeg() {
  if (type_ == ImageType::Jpeg) return true;
  if (image_.isNull()) return false;
  std::string bytes = EncodeJpeg(FromQImage(image_), JPEGCompressionQuality);
  if (bytes.empty()) return false;
  jpeg_ = std::move(bytes);
  type_ = ImageType::Jpeg;
  return true;
}

bool TAdvImage::SaveAsJpeg(const std::string& path) const {
  if (type_ != ImageType::Jpeg || jpeg_.empty()) return false;
  return WriteTransientFile(path, jpeg_);  // the picture goes to Temp; the record is the data
}

void TAdvImage::SetStretchRatio(bool on) {
  StretchRatio = on;
  ShowChange();
}

QRect TAdvImage::PictureRect() const {
  const QRect area = contentsRect();
  const zafirel::PictureRect r =
      FitPicture(image_.width(), image_.height(),
                 {area.left(), area.top(), area.width(), area.height()}, StretchRatio, CenterView);
  return QRect(r.left, r.top, r.width, r.height);
}

void TAdvImage::paintEvent(QPaintEvent* event) {
  QFrame::paintEvent(event);
  QPainter painter(this);
  painter.setClipRect(contentsRect());
  if (image_.isNull()) {
    if (!ShowEmptyLabel) return;
    const QFontMetrics metrics(font());
    const int x = (width() - metrics.horizontalAdvance(EmptyLabel)) / 2;
    const int y = (height() - metrics.height()) / 2;
    // In the tooltip's text colour, which its background is chosen for,
    // also while the view is disabled.
    painter.setPen(palette().color(QPalette::Active, QPalette::ToolTipText));
    painter.drawText(x, y + metrics.ascent(), EmptyLabel);
    return;
  }
  const QRect target = PictureRect();
  if (StretchRatio)
    painter.drawImage(target, image_);
  else
    painter.drawImage(target.topLeft(), image_);
}

void TAdvImage::ShowChange() {
  setAccessibleName(image_.isNull() ? EmptyLabel : PictureLabel);
  update();
}

}  // namespace zafirel
