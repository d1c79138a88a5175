#pragma once

#include <QIcon>
#include <QImage>
#include <QList>
#include <QObject>

// A list of same-sized images (16 x 16 unless told otherwise), handed out as icons. Tells its
// users through Change whenever its images change.
class TImageList : public QObject
{
    Q_OBJECT
public:
    explicit TImageList(QObject *owner = nullptr, int width = 16, int height = 16);
    ~TImageList() override;

    int Width() const { return m_width; }
    int Height() const { return m_height; }
    int Count() const { return int(m_icons.size()); }

    // Appends an image, scaled to the list's size; returns its index.
    int Add(const QImage &image);
    // Appends the file's (or resource's) image; -1 when it cannot be read.
    int AddFromFile(const QString &path);
    void Delete(int index);
    void Clear();

    // The image at index as an icon; a null icon when index is outside the list.
    QIcon GetIcon(int index) const;
    QImage GetImage(int index) const;

signals:
    void Change();

private:
    int m_width;
    int m_height;
    QList<QImage> m_images;
    QList<QIcon> m_icons;
};
