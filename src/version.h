// version.h - the library's version text.
#ifndef PMR_VERSION_H
#define PMR_VERSION_H
#define PMR_VERSION_TEXT "2.2"
#define PMR_SOVERSION 2
#endif
