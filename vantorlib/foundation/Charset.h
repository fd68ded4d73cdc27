// The closed list of character sets the program knows. The numbers are stored in message
// state strings and preferences, so they never change.
#pragma once

enum Charset : int {
	kCharsetNone = 0,
	kCharsetISO8859_1 = 1,
	kCharsetISO8859_2 = 2,
	kCharsetISO8859_3 = 3,
	kCharsetISO8859_4 = 4,
	kCharsetISO8859_5 = 5,
	kCharsetISO8859_6 = 6,
	kCharsetISO8859_7 = 7,
	kCharsetISO8859_8 = 8,
	kCharsetISO8859_9 = 9,
	kCharsetISO8859_10 = 10,
	kCharsetISO8859_11 = 11,
	kCharsetISO8859_12 = 12,
	kCharsetISO8859_13 = 13,
	kCharsetISO8859_14 = 14,
	kCharsetISO8859_15 = 15,
	kCharsetBIG5 = 16,
	kCharsetGB18030 = 17,
	kCharsetGB2312 = 18,
	kCharsetHZGB2312 = 19,
	kCharsetGBK = 20,
	kCharsetKOI8R = 21,
	kCharsetMacintosh = 22,
	kCharsetUSASCII = 23,
	kCharsetUTF8 = 24,
	kCharsetWindows1250 = 25,
	kCharsetWindows1251 = 26,
	kCharsetWindows1252 = 27,
};

constexpr int kCharsetCount = 27;
