// The objects GetDescriptor and GetSubKey hand out: snapshots of a data file's description and
// of one subordinate key definition, answering through ITalvoDescriptor and ITalvoSubKey.
//
// What the descriptor's fields mean to this component (16-bit fields cut, 32-bit fields
// saturated at 2^31 - 1):
//   GetPath          the data file's path in platform form
//   GetDirectoryText the directory name the file was named under
//   GetNameText      the file name as given
//   GetFileType      1, 2, 4 or 36
//   GetFormatVersion the version of the file's on-disk format
//   GetInfoWord1     the number of subordinate key definitions (0 to 99)
//   GetInfoWord2     the offset of the deleted-record mark in a record (6 or 8), 0 for none
//   GetInfoWord3     the version of the file's on-disk format (as GetFormatVersion)
//   GetRecordSize    bytes per record; 0 for a key-only file
//   GetKeySize       bytes per key; 0 for files without keys
//   GetInfoLong1     record slots in the data file, deleted ones included
//   GetInfoLong2     slots marked deleted
//   GetInfoLong3     keys in the index (0 for files without keys)
//   GetDateTime1/2/3 created, last modified, last accessed: local time, YYYYMMDDhhmmss
//                    ("00000000000000" when the file does not record it)
//   GetKeyPosition   offset of the key in the record (type 36), otherwise 0
//   GetExtraText     the kind of file: "RECORDS", "KEYED", "KEYONLY" or "EXTKEYED"
//   GetInfoLong4     live records: slots not deleted (keys, for a key-only file)
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

#include "talvo/engine.h"
#include "talvo/talvolib.h"

namespace talvo {

struct DescriptorValues {
    std::string path;
    std::string directoryText;
    std::string nameText;
    int32_t fileType = 0;
    int32_t formatVersion = 0;
    int32_t infoWord1 = 0;
    int32_t infoWord2 = 0;
    int32_t infoWord3 = 0;
    int32_t recordSize = 0;
    int32_t keySize = 0;
    int32_t infoLong1 = 0;
    int32_t infoLong2 = 0;
    int32_t infoLong3 = 0;
    int32_t infoLong4 = 0;
    std::string dateTime1;
    std::string dateTime2;
    std::string dateTime3;
    int32_t keyPosition = 0;
    std::string extraText;
};

// Local time as 14 digits YYYYMMDDhhmmss; fourteen "0" for time 0 or a year outside 1..9999.
std::string FormatDateTime(std::time_t time);

// The descriptor of a file from its information and its number of sub-key definitions.
DescriptorValues DescribeFile(const FileInfo& info, int subKeyCount, std::string_view directoryName,
                              std::string_view fileName);

// New objects (one reference, the caller's) answering for IUnknown, IDispatch and their own
// interface. Throw std::bad_alloc when memory runs out.
platform::IDispatch* NewDescriptorObject(DescriptorValues values);
platform::IDispatch* NewSubKeyObject(SubKeyDef def);

}  // namespace talvo
