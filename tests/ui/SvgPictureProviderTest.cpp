// The window's picture provider: sizes as Qt's image reader gives scalable pictures, and only
// the picture folder's own files.
#include "shell/app/SvgPictureProvider.h"
#include "UiTestSupport.h"

#include <gtest/gtest.h>

namespace lirvo::app {
namespace {

TEST(SvgPictureProviderTest, SizesFollowTheRequestAndKeepTheProportions) {
    const QSize square(64, 64);
    EXPECT_EQ(SvgPictureSize(square, QSize()), square);
    EXPECT_EQ(SvgPictureSize(square, QSize(0, 0)), square);
    EXPECT_EQ(SvgPictureSize(square, QSize(130, 130)), QSize(130, 130));
    EXPECT_EQ(SvgPictureSize(square, QSize(30, 0)), QSize(30, 30));
    EXPECT_EQ(SvgPictureSize(square, QSize(-1, 40)), QSize(40, 40));
    // A box of another shape: the larger scale, so fitting the picture into it loses no detail.
    EXPECT_EQ(SvgPictureSize(square, QSize(122, 100)), QSize(122, 122));
    EXPECT_EQ(SvgPictureSize(QSize(40, 20), QSize(20, 20)), QSize(40, 20));
    EXPECT_EQ(SvgPictureSize(QSize(), QSize(20, 20)), QSize());
}

TEST(SvgPictureProviderTest, DrawsThePictureFolderOnlyAtASaneSize) {
    uitest::App();
    SvgPictureProvider provider;
    QSize natural;
    const QImage play = provider.requestImage(QStringLiteral("play.svg"), &natural, QSize(130, 130));
    ASSERT_FALSE(play.isNull());
    EXPECT_EQ(natural, QSize(64, 64));
    EXPECT_EQ(play.size(), QSize(130, 130));
    // Drawn, not blank: the corner is clear and the centre (the triangle) is not.
    EXPECT_EQ(qAlpha(play.pixel(0, 0)), 0);
    EXPECT_GT(qAlpha(play.pixel(70, 65)), 200);
    EXPECT_EQ(provider.requestImage(QStringLiteral("play.svg"), &natural, QSize()).size(), QSize(64, 64));

    for (const char *id : {"", "missing.svg", "../qml/Main.qml", "/pictures/play.svg", "sub/play.svg",
                           "lirvo.desktop", "play.svg/"}) {
        EXPECT_TRUE(provider.requestImage(QString::fromUtf8(id), &natural, QSize(20, 20)).isNull()) << id;
    }
    EXPECT_TRUE(provider.requestImage(QStringLiteral("play.svg"), &natural, QSize(100000, 100000)).isNull());
}

} // namespace
} // namespace lirvo::app
