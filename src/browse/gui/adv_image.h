// TAdvImage: a picture view that shrinks its picture to fit keeping its
// shape, centres it, and shows a text in the middle while it is empty. It
// keeps a JPEG picture's own file bytes, and turns other pictures into JPEG
// through the core's encoder.
#pragma once

#include <QFrame>
#include <QImage>
#include <QString>
#include <string>

namespace zafirel {

class TAdvImage : public QFrame {
  Q_OBJECT
 public:
  enum class ImageType { None, Jpeg, Bitmap, Other };

  explicit TAdvImage(QWidget* parent = nullptr);

  // Loads a picture file (any format the toolkit reads, JPEG through the
  // core); a file that is not a picture leaves the view empty. True when a
  // picture was loaded.
  bool LoadFromFile(const QString& path);
  // Shows JPEG bytes; anything else empties the view.
  bool LoadJpeg(const std::string& bytes);
  void Clear();
  // Replaces a picture that is not JPEG by its JPEG encoding; false when
  // there is no picture or the encoder fails.
  bool ConvertToJpeg();
  // Writes the JPEG bytes to the file; false without a JPEG or on failure.
  [[nodiscard]] bool SaveAsJpeg(const std::string& path) const;

  ImageType Type() const { return type_; }
  const std::string& JpegBytes() const { return jpeg_; }
  const QImage& Image() const { return image_; }
  // Where the picture is drawn now, in the view's coordinates.
  QRect PictureRect() const;

  bool StretchRatio = true;
  bool CenterView = true;
  bool ShowEmptyLabel = true;
  QString EmptyLabel = QStringLiteral("Sin imagen");
  // What a screen reader calls the view while it shows a picture (and
  // EmptyLabel while it shows none).
  QString PictureLabel = QStringLiteral("Imagen del disco");
  // Repaints, and names the view for what it shows (after the labels change).
  void ShowChange();
  int JPEGCompressionQuality;
  void SetStretchRatio(bool on);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QImage image_;
  std::string jpeg_;
  ImageType type_ = ImageType::None;
};

}  // namespace zafirel
