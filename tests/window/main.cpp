#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>
#include <memory>

#include "window/Unit1.h"
#include "window/application.h"

namespace {

// Every test runs in a folder of its own: the window reads and writes its
// records file in the current folder.
class FreshFolderPerTest : public ::testing::EmptyTestEventListener {
    void OnTestStart(const ::testing::TestInfo&) override
    {
        Folder = std::make_unique<QTemporaryDir>();
        QDir::setCurrent(Folder->path());
    }
    void OnTestEnd(const ::testing::TestInfo&) override
    {
        QDir::setCurrent(QDir::tempPath());
        Folder.reset();
    }
    std::unique_ptr<QTemporaryDir> Folder;
};

}  // namespace

int main(int argc, char** argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::UnitTest::GetInstance()->listeners().Append(new FreshFolderPerTest);
    VantorixApplication app(argc, argv);
    // No test starts a browser or a mail program.
    TForm1::OpenAddress = [](const QUrl&) { return true; };
    return RUN_ALL_TESTS();
}
