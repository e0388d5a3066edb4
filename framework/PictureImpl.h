// Framework-private: what a Picture holds.
#pragma once
#include <QImage>

#include "Picture.h"

namespace fw {
struct Picture::Impl {
    QImage image;
};
}  // namespace fw
