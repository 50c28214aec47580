#include "shell/exitquestion.h"

#include "base/prompter.h"

bool ExitQuestion::confirm(Prompter &prompter, int runningDownloads)
{
    if (runningDownloads < 1)
        return true;
    return prompter.messageBox(QLatin1String(Text), Prompter::Buttons::YesNo, Prompter::Icon::Exclamation)
        == Prompter::Answer::Yes;
}
