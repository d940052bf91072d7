#pragma once

#include "InInstallation.h"
#include "QtPlatform.h"
#include "ScriptedPlatform.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <grp.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace zelvoset::testing {

using ScriptedPlatform = Scripted<QtPlatform>;

// A fresh directory that is the current directory for the test's duration.
class InTempDir : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(temp_.isValid());
        // Open to every user: some cases run in a child that gave up root.
        ::chmod(temp_.path().toLocal8Bit().constData(), 0755);
        previous_ = QDir::currentPath();
        ASSERT_TRUE(QDir::setCurrent(temp_.path()));
        root_ = temp_.path().toStdString();
    }
    void TearDown() override { QDir::setCurrent(previous_); }

    std::string Path(const std::string& relative) const { return root_ + "/" + relative; }
    // Makes the folders on the way.
    void Write(const std::string& relative, const std::string& bytes) const {
        QFile file(QString::fromStdString(Path(relative)));
        ASSERT_TRUE(QDir().mkpath(QFileInfo(file).path()) && file.open(QIODevice::WriteOnly));
        ASSERT_EQ(file.write(bytes.data(), qint64(bytes.size())), qint64(bytes.size()));
    }
    std::string Read(const std::string& relative) const {
        QFile file(QString::fromStdString(Path(relative)));
        if (!file.open(QIODevice::ReadOnly))
            return "<unreadable>";
        return file.readAll().toStdString();
    }
    void MakeDir(const std::string& relative) const {
        ASSERT_TRUE(QDir().mkpath(QString::fromStdString(Path(relative))));
    }
    // Every entry of a directory, hidden ones included: shows leftovers such as temporary files.
    QStringList Entries(const std::string& relative = ".") const {
        return QDir(QString::fromStdString(Path(relative)))
            .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                       QDir::Name);
    }

    // The same, in byte order, as the suites of every system compare it.
    std::vector<std::string> List(const std::string& relative = ".") const {
        std::vector<std::string> names;
        for (const QString& name : Entries(relative))
            names.push_back(name.toStdString());
        std::sort(names.begin(), names.end());
        return names;
    }
    void MakeReadOnly(const std::string& relative) const {
        ASSERT_EQ(::chmod(Path(relative).c_str(), 0444), 0);
    }

    std::string root_;

private:
    QTemporaryDir temp_;
    QString previous_;
};

// Runs `body` in a forked child and returns its exit code, or 128 + signal when it was killed.
inline int InChild(const std::function<int()>& body) {
    const pid_t pid = fork();
    if (pid == 0)
        _exit(body());
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// The unprivileged user that some children become, since root ignores permission bits.
inline constexpr uid_t kNobody = 65534;

inline bool BecomeNobody() {
    return setgroups(0, nullptr) == 0 && setgid(kNobody) == 0 && setuid(kNobody) == 0;
}

using InInstallation = InInstallationOf<InTempDir, ScriptedPlatform>;

} // namespace zelvoset::testing
