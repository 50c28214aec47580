#pragma once

#include <QString>

// Finishes a self-update in the folder that holds the programs: ends every
// running copy of the main program, then puts the delivered "quelm_new" in
// the place of "quelm". Nothing is reported; a step that fails leaves the
// files as they are, so the user is never left without a program.
class UpdateFinisher final
{
public:
    explicit UpdateFinisher(const QString &folder);

    void run();

private:
    // Ends the copies one per pass until a pass finds none. Only processes of
    // this user are ended, never this process or its parent, and a process
    // that will not go away is given up after a while.
    void endRunningCopies();
    // Renames the new executable over the old one (an atomic replacement, so
    // there is no moment without a program), then removes the old executable
    // where it was spelt in other letter cases.
    void installNewExecutable();
    void removeOtherSpellingsOfOld(const QString &installedPath);
    // The entries of the folder whose names equal `name` without regard to
    // case, the exact spelling first.
    QStringList filesNamed(const QString &name) const;

    QString m_folder;
};
