// Builds datebook files byte by byte for the tests, written from the file layout alone and
// sharing no code with the codec under test: a test states a file as Palm Desktop would
// write it (or damaged in one named way), and compares what DayBridge writes with bytes built
// here. All integers little-endian.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace dbtest {

using Bytes = std::vector<uint8_t>;

class ByteWriter {
 public:
  ByteWriter& Long(uint32_t n) {
    for (int i = 0; i < 4; ++i) m_Bytes.push_back(static_cast<uint8_t>(n >> (8 * i)));
    return *this;
  }
  ByteWriter& Short(uint16_t n) {
    m_Bytes.push_back(static_cast<uint8_t>(n));
    m_Bytes.push_back(static_cast<uint8_t>(n >> 8));
    return *this;
  }
  ByteWriter& Byte(uint8_t n) {
    m_Bytes.push_back(n);
    return *this;
  }
  ByteWriter& Raw(const void* p, size_t n) {
    const auto* b = static_cast<const uint8_t*>(p);
    m_Bytes.insert(m_Bytes.end(), b, b + n);
    return *this;
  }
  ByteWriter& Raw(const Bytes& bytes) { return Raw(bytes.data(), bytes.size()); }
  // Length-prefixed text: one length byte below 255, else 0xFF and a 16-bit length.
  ByteWriter& Text(const std::string& s) {
    if (s.size() < 255) {
      Byte(static_cast<uint8_t>(s.size()));
    } else {
      Byte(0xFF).Short(static_cast<uint16_t>(s.size()));
    }
    return Raw(s.data(), s.size());
  }
  ByteWriter& IntField(uint32_t nType, uint32_t nValue) { return Long(nType).Long(nValue); }
  ByteWriter& TextField(const std::string& s, uint32_t nWord = 1) {
    return Long(5).Long(nWord).Text(s);
  }
  const Bytes& Get() const { return m_Bytes; }

 private:
  Bytes m_Bytes;
};

struct Category {
  uint32_t nIndex;
  uint32_t nId;
  uint32_t nDirty;
  std::string name;
  std::string shortName;
};

inline Bytes CategoryBlock(uint32_t nNextFreeId, const std::vector<Category>& cats,
                           std::optional<uint32_t> nCountOverride = std::nullopt) {
  ByteWriter w;
  w.Long(nNextFreeId).Long(nCountOverride.value_or(static_cast<uint32_t>(cats.size())));
  for (const auto& c : cats)
    w.Long(c.nIndex).Long(c.nId).Long(c.nDirty).Text(c.name).Text(c.shortName);
  return w.Get();
}

struct Blob {
  uint32_t nType = 64;
  uint32_t nSelector = 0;
  uint32_t nWord1 = 0;
  uint32_t nWord2 = 0;
  std::optional<uint32_t> nDataLen;  // for selectors 1..3; defaults to data.size()
  Bytes data;

  void Append(ByteWriter& w) const {
    w.Long(nType).Long(nSelector);
    if (nSelector == 0) return;
    if (nSelector >= 4) {
      w.Raw(data);
      return;
    }
    w.Long(nWord1).Long(nWord2).Long(nDataLen.value_or(static_cast<uint32_t>(data.size())));
    w.Raw(data);
  }
};

struct Repeat {
  uint16_t nFlag = 0;  // 0 none; 0xFFFF class record follows; other: pattern follows at once
  std::vector<uint32_t> exceptions;
  uint16_t nConstant = 1;
  std::string className;
  uint32_t nBrand = 0;
  uint32_t nInterval = 0;
  uint32_t nEndDate = 0;
  uint32_t nFirstDay = 0;
  std::vector<uint32_t> brandLongs;  // day index / week index / day number / month index
  std::optional<uint8_t> daysMask;   // weekly: after the first brand long

  void Append(ByteWriter& w) const {
    w.Long(8).Short(static_cast<uint16_t>(exceptions.size()));
    for (uint32_t d : exceptions) w.Long(d);
    w.Short(nFlag);
    if (nFlag == 0) return;
    if (nFlag == 0xFFFF) {
      w.Short(nConstant).Short(static_cast<uint16_t>(className.size()));
      w.Raw(className.data(), className.size());
    }
    w.Long(nBrand).Long(nInterval).Long(nEndDate).Long(nFirstDay);
    for (size_t i = 0; i < brandLongs.size(); ++i) {
      w.Long(brandLongs[i]);
      if (i == 0 && daysMask) w.Byte(*daysMask);
    }
  }
};

// A 4.1.4 record as Palm Desktop writes it: the schema's type codes (field 6 with 6, the
// times with 3, the flags with 6) and text words that need not be 1.
struct Record414 {
  uint32_t nRecordId = 1;
  uint32_t nSequence = 4096;
  uint32_t nStatus = 0;
  uint32_t nFieldBase = 0;
  uint32_t nPlacement = 0;
  uint32_t nCategoryId = 0;
  uint32_t nPrivate = 0;
  uint32_t nPrivateType = 6;
  std::array<Blob, 4> blobs{Blob{64}, Blob{65}, Blob{66}, Blob{67}};
  std::string text11, text12;
  uint32_t nStart = 1104570000;  // 2005-01-01 around 09:00 UTC
  uint32_t nEnd = 1104573600;
  std::string summary = "Dentist";
  uint32_t nInt16 = 0;
  std::string note;
  uint32_t nUntimed = 0;
  uint32_t nAlarm = 0;
  uint32_t nAdvance = 0;
  uint32_t nUnit = 0;
  Repeat repeat;
  std::string location;
  uint32_t nInt24 = 0;
  std::string text25, text26;
  uint32_t nTextWord = 1;

  Bytes Build(int nFields = 27) const {
    ByteWriter w;
    for (int f = 0; f < nFields && f < 27; ++f) {
      switch (f) {
        case 0:
          w.IntField(1, nRecordId);
          break;
        case 1:
          w.IntField(1, nSequence);
          break;
        case 2:
          w.IntField(1, nStatus);
          break;
        case 3:
          w.IntField(1, nFieldBase);
          break;
        case 4:
          w.IntField(1, nPlacement);
          break;
        case 5:
          w.IntField(1, nCategoryId);
          break;
        case 6:
          w.IntField(nPrivateType, nPrivate);
          break;
        case 7:
        case 8:
        case 9:
        case 10:
          blobs[f - 7].Append(w);
          break;
        case 11:
          w.TextField(text11, nTextWord);
          break;
        case 12:
          w.TextField(text12, nTextWord);
          break;
        case 13:
          w.IntField(3, nStart);
          break;
        case 14:
          w.IntField(3, nEnd);
          break;
        case 15:
          w.TextField(summary, nTextWord);
          break;
        case 16:
          w.IntField(1, nInt16);
          break;
        case 17:
          w.TextField(note, nTextWord);
          break;
        case 18:
          w.IntField(6, nUntimed);
          break;
        case 19:
          w.IntField(6, nAlarm);
          break;
        case 20:
          w.IntField(1, nAdvance);
          break;
        case 21:
          w.IntField(1, nUnit);
          break;
        case 22:
          repeat.Append(w);
          break;
        case 23:
          w.TextField(location, nTextWord);
          break;
        case 24:
          w.IntField(1, nInt24);
          break;
        case 25:
          w.TextField(text25, nTextWord);
          break;
        case 26:
          w.TextField(text26, nTextWord);
          break;
      }
    }
    return w.Get();
  }
};

inline const std::vector<uint16_t>& DefaultTypes414() {
  static const std::vector<uint16_t> types = {1, 1, 1, 1, 1, 1, 6, 64, 65, 66, 67, 5, 5, 3,
                                              3, 5, 1, 5, 6, 6, 1, 1,  8,  5,  1,  5, 5};
  return types;
}

struct Datebook414 {
  std::array<uint8_t, 5> prefix{0xBE, 0xBA, 0xFE, 0xCA, 0x0F};
  std::string magic = "PalmSG Database00RV";
  uint32_t nVersion = 0x44420200;
  std::array<uint8_t, 24> reserved1{};
  std::string fileName = "C:\\Palm\\JonesA\\datebook\\datebook.dat";
  std::array<uint8_t, 43> reserved2{};
  uint32_t nNextFreeId = 128;
  std::vector<Category> categories;
  std::optional<uint32_t> nCategoryCount;
  uint32_t nResourceId = 54;
  uint32_t nFieldsPerRow = 27;
  uint32_t nRecordIdPos = 0;
  uint32_t nStatusPos = 2;
  uint32_t nPlacementPos = 4;
  uint16_t nFieldCount = 27;
  std::vector<uint16_t> fieldTypes = DefaultTypes414();
  std::optional<uint32_t> nTotalFields;
  std::vector<Bytes> records;

  Datebook414() {
    for (size_t i = 0; i < reserved2.size(); ++i) reserved2[i] = static_cast<uint8_t>(i * 7 + 1);
    for (size_t i = 0; i < reserved1.size(); ++i) reserved1[i] = static_cast<uint8_t>(0xA0 + i);
    SetRecordCountBytes(0);
  }
  // Bytes 12-13 of reserved 1 as Palm Desktop keeps them: 4096 + the record count.
  void SetRecordCountBytes(uint32_t nRecords) {
    reserved1[12] = static_cast<uint8_t>(nRecords % 256);
    reserved1[13] = static_cast<uint8_t>(nRecords / 256 + 0x10);
  }

  Bytes Build() const {
    ByteWriter w;
    w.Raw(prefix.data(), prefix.size()).Raw(magic.data(), magic.size());
    w.Long(nVersion).Raw(reserved1.data(), reserved1.size());
    w.Text(fileName).Raw(reserved2.data(), reserved2.size());
    w.Raw(CategoryBlock(nNextFreeId, categories, nCategoryCount));
    w.Long(nResourceId).Long(nFieldsPerRow).Long(nRecordIdPos).Long(nStatusPos).Long(nPlacementPos);
    w.Short(nFieldCount);
    for (uint16_t t : fieldTypes) w.Short(t);
    w.Long(nTotalFields.value_or(static_cast<uint32_t>(records.size()) * nFieldsPerRow));
    for (const auto& r : records) w.Raw(r);
    return w.Get();
  }
};

// An earlier-layout record: the times with type code 1 as its schema says.
struct Record41 {
  uint32_t nRecordId = 1;
  uint32_t nStatus = 0;
  uint32_t nPlacement = 0;
  uint32_t nStart = 1104570000;
  uint32_t nEnd = 1104573600;
  uint32_t nStartType = 3;
  uint32_t nEndType = 1;
  std::string description = "Lunch";
  uint32_t nInt6 = 0;
  std::string note;
  uint32_t nUntimed = 0;
  uint32_t nPrivate = 0;
  uint32_t nCategoryId = 0;
  uint32_t nAlarm = 0;
  uint32_t nAdvance = 0;
  uint32_t nUnit = 0;
  Repeat repeat;
  uint32_t nTextWord = 1;
  uint32_t nFlagType = 6;

  Bytes Build(int nFields = 15) const {
    ByteWriter w;
    for (int f = 0; f < nFields && f < 15; ++f) {
      switch (f) {
        case 0:
          w.IntField(1, nRecordId);
          break;
        case 1:
          w.IntField(1, nStatus);
          break;
        case 2:
          w.IntField(1, nPlacement);
          break;
        case 3:
          w.IntField(nStartType, nStart);
          break;
        case 4:
          w.IntField(nEndType, nEnd);
          break;
        case 5:
          w.TextField(description, nTextWord);
          break;
        case 6:
          w.IntField(1, nInt6);
          break;
        case 7:
          w.TextField(note, nTextWord);
          break;
        case 8:
          w.IntField(nFlagType, nUntimed);
          break;
        case 9:
          w.IntField(nFlagType, nPrivate);
          break;
        case 10:
          w.IntField(1, nCategoryId);
          break;
        case 11:
          w.IntField(nFlagType, nAlarm);
          break;
        case 12:
          w.IntField(1, nAdvance);
          break;
        case 13:
          w.IntField(1, nUnit);
          break;
        case 14:
          repeat.Append(w);
          break;
      }
    }
    return w.Get();
  }
};

struct Datebook41 {
  uint32_t nVersion = 0x44420100;
  std::string fileName = "C:\\Palm\\JonesA\\datebook\\datebook.dat";
  std::string header = "Palm Desktop datebook";
  uint32_t nNextFreeId = 128;
  std::vector<Category> categories;
  uint32_t nResourceId = 54;
  uint32_t nFieldsPerRow = 15;
  uint32_t nRecordIdPos = 0;
  uint32_t nStatusPos = 1;
  uint32_t nPlacementPos = 2;
  uint16_t nFieldCount = 15;
  std::vector<uint16_t> fieldTypes = {1, 1, 1, 3, 1, 5, 1, 5, 6, 6, 1, 6, 1, 1, 8};
  std::optional<uint32_t> nTotalFields;
  std::vector<Bytes> records;

  Bytes Build() const {
    ByteWriter w;
    w.Long(nVersion).Text(fileName).Text(header);
    w.Raw(CategoryBlock(nNextFreeId, categories));
    w.Long(nResourceId).Long(nFieldsPerRow).Long(nRecordIdPos).Long(nStatusPos).Long(nPlacementPos);
    w.Short(nFieldCount);
    for (uint16_t t : fieldTypes) w.Short(t);
    w.Long(nTotalFields.value_or(static_cast<uint32_t>(records.size()) * nFieldsPerRow));
    for (const auto& r : records) w.Raw(r);
    return w.Get();
  }
};

inline bool WriteFileBytes(const std::string& path, const Bytes& bytes) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  const bool bOk = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && bOk;
}

inline Bytes ReadFileBytes(const std::string& path) {
  Bytes bytes;
  FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return bytes;
  uint8_t buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof(buf), f)) > 0) bytes.insert(bytes.end(), buf, buf + n);
  std::fclose(f);
  return bytes;
}

}  // namespace dbtest
