#include <stdio.h>
#include "KorvanelleClient.h"
int main(void) {
    char name[256];                                   /* code page 936 text */
    unsigned int size = sizeof name;
    if (!Connect("127.0.0.1", 7770)) return 1;
    if (OpenPatient("P10001") && GetPatientName(name, &size))
        printf("%s: %d modalities\n", name, GetModalityCount());
    Disconnect();
}
