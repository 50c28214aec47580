#pragma once

class Prompter;

// The question before the program ends while downloads are running: they
// would be cancelled and their partial files deleted.
class ExitQuestion final
{
public:
    static constexpr char Text[] = "Quelm has active downloads. Are you sure you want to quit? (These downloads will "
                                   "be cancelled and deleted if you continue.)";

    // True when the program may end: no download runs, or the person said Yes.
    static bool confirm(Prompter &prompter, int runningDownloads);
};
