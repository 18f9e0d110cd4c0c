#include "Bytes.h"

QByteArray everyByte()
{
    QByteArray b;
    for (int v = 0; v < 256; ++v)
        b.append(char(v));
    return b;
}
