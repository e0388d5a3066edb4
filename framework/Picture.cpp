#include "Picture.h"

#include <QImage>
#include <QString>

#include "Application.h"
#include "PictureImpl.h"

namespace fw {

Ref<Picture> Picture::OpenFromApp(const std::string& name) {
    QImage image(QString::fromStdString(ResourcesFolder() + "/" + name));
    if (image.isNull()) return nullptr;
    auto impl = std::make_shared<Impl>();
    impl->image = std::move(image);
    return New<Picture>(std::move(impl));
}

int Picture::Width() const { return impl_ ? impl_->image.width() : 0; }
int Picture::Height() const { return impl_ ? impl_->image.height() : 0; }

}  // namespace fw
