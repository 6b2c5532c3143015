// One offscreen QApplication for the window tests, with a fixed locale.

#include <QApplication>
#include <QLocale>

#include <gtest/gtest.h>

namespace {

class QtEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "frmmain_tests";
        static char* argv[] = {name, nullptr};
        application_ = new QApplication(argc, argv);
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedKingdom));
    }
    void TearDown() override {
        delete application_;
        application_ = nullptr;
    }

private:
    QApplication* application_ = nullptr;
};

[[maybe_unused]] ::testing::Environment* const environment = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

} // namespace
