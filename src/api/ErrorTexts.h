#pragma once

// Why Connect failed, as code page 936 text.
// "(KorvanelleClient.dll)Error:" followed by the reason:
inline constexpr const char kErrNotClosed[] =  // 连接未关闭: connection not closed
    "(KorvanelleClient.dll)Error:\xC1\xAC\xBD\xD3\xCE\xB4\xB9\xD8\xB1\xD5";
inline constexpr const char kErrThreadCreate[] =  // 线程创建失败: thread creation failed
    "(KorvanelleClient.dll)Error:\xCF\xDF\xB3\xCC\xB4\xB4\xBD\xA8\xCA\xA7\xB0\xDC";
inline constexpr const char kErrThreadStart[] =  // 线程启动失败: thread start failed
    "(KorvanelleClient.dll)Error:\xCF\xDF\xB3\xCC\xC6\xF4\xB6\xAF\xCA\xA7\xB0\xDC";
inline constexpr const char kErrConnectFailed[] =  // 连接失败: connection failed
    "(KorvanelleClient.dll)Error:\xC1\xAC\xBD\xD3\xCA\xA7\xB0\xDC";
inline constexpr const char kErrConnectTimeout[] =  // 连接超时: connection timed out
    "(KorvanelleClient.dll)Error:\xC1\xAC\xBD\xD3\xB3\xAC\xCA\xB1";
