// Run once in a fresh Wine prefix: gives the caption, menu, status and
// message-box fonts the GB2312 character set, so that window titles and
// message boxes written in code page 936 show their Chinese.
#include <windows.h>

#include <cstdio>
#include <initializer_list>

int main() {
    NONCLIENTMETRICSA metrics{};
    metrics.cbSize = sizeof metrics;
    if (!SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) {
        std::fprintf(stderr, "prefix-setup: cannot read the window metrics\n");
        return 1;
    }
    for (LOGFONTA* font : {&metrics.lfCaptionFont, &metrics.lfSmCaptionFont, &metrics.lfMenuFont,
                           &metrics.lfStatusFont, &metrics.lfMessageFont}) {
        font->lfCharSet = GB2312_CHARSET;
    }
    if (!SystemParametersInfoA(SPI_SETNONCLIENTMETRICS, sizeof metrics, &metrics,
                               SPIF_UPDATEINIFILE | SPIF_SENDCHANGE)) {
        std::fprintf(stderr, "prefix-setup: cannot write the window metrics\n");
        return 1;
    }
    return 0;
}
