#include "components/ImageList.h"

#include <QPixmap>

TImageList::TImageList(QObject *owner, int width, int height) : QObject(owner), m_width(width), m_height(height) {}

TImageList::~TImageList() = default;

int TImageList::Add(const QImage &image)
{
    QImage scaled = image.size() == QSize(m_width, m_height)
                        ? image
                        : image.scaled(m_width, m_height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    m_images.append(scaled);
    m_icons.append(QIcon(QPixmap::fromImage(scaled)));
    emit Change();
    return int(m_images.size()) - 1;
}

int TImageList::AddFromFile(const QString &path)
{
    QImage image(path);
    if (image.isNull())
        return -1;
    return Add(image);
}

void TImageList::Delete(int index)
{
    if (index < 0 || index >= Count())
        return;
    m_images.removeAt(index);
    m_icons.removeAt(index);
    emit Change();
}

void TImageList::Clear()
{
    if (m_images.isEmpty())
        return;
    m_images.clear();
    m_icons.clear();
    emit Change();
}

QIcon TImageList::GetIcon(int index) const
{
    if (index < 0 || index >= Count())
        return QIcon();
    return m_icons.at(index);
}

QImage TImageList::GetImage(int index) const
{
    if (index < 0 || index >= Count())
        return QImage();
    return m_images.at(index);
}
