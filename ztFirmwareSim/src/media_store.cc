#include "media_store.h"

#include <algorithm>
#include <cstdio>

#include "ztErrno.h"

namespace ztsim {

namespace {

const char kFolder[] = "100ZTCAM/";
const size_t kListItemSize = 23;
const size_t kListNameWidth = 22;

std::string baseName(const std::string& path) {
  size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

MediaStore::MediaStore() {
  reset();
}

void MediaStore::reset() {
  m_files.clear();
  m_nextNumber = 1;
  m_nextGroup = 1;
  m_recordingTags = 0;
  m_listResult = kListNone;
  m_listDeleted = 0;
  m_listMissing = 0;
  addCapture(true);
  addCapture(false);
  addCapture(false, 3);
  addCapture(true);
}

std::string MediaStore::addCapture(bool video, int photoCount) {
  uint32_t group = (!video && photoCount > 1) ? m_nextGroup++ : 0;
  int count = video ? 1 : std::max(1, photoCount);
  std::string first;
  for (int i = 0; i < count; ++i) {
    char name[40];
    std::snprintf(name, sizeof name, "%sZT%c%05u.%s", kFolder, group ? 'B' : '0',
                  static_cast<unsigned>(m_nextNumber++ % 100000), video ? "MP4" : "JPG");
    MediaFile f;
    f.name = name;
    f.group = group;
    if (video && m_recordingTags > 0) {
      for (uint32_t t = 0; t < m_recordingTags; ++t) f.tags.push_back(0);
      m_recordingTags = 0;
    }
    if (first.empty()) first = f.name;
    m_files.push_back(std::move(f));
  }
  return first;
}

int MediaStore::find(const std::string& name) const {
  if (name.empty()) return -1;
  for (size_t i = 0; i < m_files.size(); ++i) {
    if (m_files[i].name == name || baseName(m_files[i].name) == baseName(name)) {
      return static_cast<int>(i);
    }
  }
  return -1;
}

int32_t MediaStore::deleteFile(const std::string& name) {
  int i = find(name);
  if (i < 0) return ZT_ERR;
  m_files.erase(m_files.begin() + i);
  return ZT_OK;
}

int32_t MediaStore::deleteGroup(const std::string& name) {
  int i = find(name);
  if (i < 0) return ZT_ERR;
  uint32_t group = m_files[i].group;
  if (group == 0) return deleteFile(name);
  m_files.erase(std::remove_if(m_files.begin(), m_files.end(),
                               [group](const MediaFile& f) {
                                 return f.group == group;
                               }),
                m_files.end());
  return ZT_OK;
}

int32_t MediaStore::deleteLatest() {
  if (m_files.empty()) return ZT_ERR;
  uint32_t group = m_files.back().group;
  if (group == 0) {
    m_files.pop_back();
  } else {
    while (!m_files.empty() && m_files.back().group == group) m_files.pop_back();
  }
  return ZT_OK;
}

int32_t MediaStore::deleteAll() {
  m_files.clear();
  return ZT_OK;
}

int32_t MediaStore::deleteList(uint32_t count, const Bytes& items) {
  size_t usable = std::min<size_t>(count, items.size() / kListItemSize);
  unsigned deleted = 0, missing = 0;
  for (size_t k = 0; k < usable; ++k) {
    std::string name = readText(items, k * kListItemSize + 1, kListNameWidth);
    if (deleteFile(name) == ZT_OK) {
      ++deleted;
    } else {
      ++missing;
    }
  }
  m_listDeleted = static_cast<uint8_t>(std::min(deleted, 255u));
  m_listMissing = static_cast<uint8_t>(std::min(missing, 255u));
  m_listResult = missing ? kListSomeMissing : kListAllDeleted;
  return ZT_OK;
}

Bytes MediaStore::listResult() const {
  return Bytes{m_listResult, m_listDeleted, m_listMissing};
}

int32_t MediaStore::tagFile(const std::string& name, uint32_t offset) {
  int i = find(name);
  if (i < 0) return ZT_ERR;
  m_files[i].tags.push_back(offset);
  return ZT_OK;
}

}  // namespace ztsim
