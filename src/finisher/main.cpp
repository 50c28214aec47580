#include "finisher/updatefinisher.h"

#include <QCoreApplication>

// kestrune: started beside quelm by whatever delivered quelm_new. It takes no
// arguments and says nothing; see UpdateFinisher.
int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    UpdateFinisher(QCoreApplication::applicationDirPath()).run();
    return 0;
}
