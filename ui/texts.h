// The program's own texts, as GBK (code page 936) byte strings for the ANSI
// interfaces: they display correctly where the system's ANSI code page is
// 936. The dialog template's texts live in the .rc file as Unicode.
#pragma once

// "打开串口" (open port)
constexpr char TEXT_OPEN_PORT[] = "\xB4\xF2\xBF\xAA\xB4\xAE\xBF\xDA";
// "关闭串口" (close port)
constexpr char TEXT_CLOSE_PORT[] = "\xB9\xD8\xB1\xD5\xB4\xAE\xBF\xDA";
// "参数设定成功！" (parameters set successfully)
constexpr char TEXT_SET_SUCCEEDED[] = "\xB2\xCE\xCA\xFD\xC9\xE8\xB6\xA8\xB3\xC9\xB9\xA6\xA3\xA1";
// "标题" (title)
constexpr char TEXT_SUCCESS_CAPTION[] = "\xB1\xEA\xCC\xE2";

// The rate list, by index: the index, not the number, goes to the device.
constexpr const char* RATE_TEXTS[] = {"9600", "19200", "38400", "57600", "115200"};
