// The simulated camera's memory card: a small list of media files, their
// groups (a burst is one group of several files), keymark tags and the
// deletes the camera offers. Owned by SimCamera; single-threaded.
#ifndef ZTSIM_MEDIA_STORE_H
#define ZTSIM_MEDIA_STORE_H

#include <cstdint>
#include <string>
#include <vector>

#include "sim_bytes.h"

namespace ztsim {

struct MediaFile {
  std::string name;            // "100ZTCAM/ZT010001.MP4"
  uint32_t group = 0;          // files of one burst share a group; 0 = none
  std::vector<uint32_t> tags;  // keymark offsets (ms into a video)
};

class MediaStore {
 public:
  // Result byte of the last list delete, as REMOTE (9, 23) reports it.
  enum ListResult : uint8_t { kListAllDeleted = 0, kListSomeMissing = 1, kListNone = 2 };

  MediaStore();

  // Back to the card the camera starts with.
  void reset();

  const std::vector<MediaFile>& files() const { return m_files; }

  // Adds a new capture: a video (.MP4) or photos (.JPG); several photos
  // form one group. Returns the first new name.
  std::string addCapture(bool video, int photoCount = 1);

  // Deletes by name; a name matches a file's full path or its base name.
  // Return ztErrno: ZT_ERR when nothing matched.
  int32_t deleteFile(const std::string& name);
  int32_t deleteGroup(const std::string& name);
  int32_t deleteLatest();
  int32_t deleteAll();
  // items: count x 23 bytes (code byte, 22-byte NUL-terminated name).
  // Deletes what it finds and remembers the outcome for listResult().
  int32_t deleteList(uint32_t count, const Bytes& items);
  // Answer of REMOTE (9, 23): result byte, deleted count, missing count.
  Bytes listResult() const;

  // Tags the named file at offset; ZT_ERR when there is no such file.
  int32_t tagFile(const std::string& name, uint32_t offset);
  // A tag during recording goes to the video the recording ends in.
  void tagRecording() { ++m_recordingTags; }

 private:
  int find(const std::string& name) const;

  std::vector<MediaFile> m_files;
  uint32_t m_nextNumber = 1;
  uint32_t m_nextGroup = 1;
  uint32_t m_recordingTags = 0;
  uint8_t m_listResult = kListNone;
  uint8_t m_listDeleted = 0;
  uint8_t m_listMissing = 0;
};

}  // namespace ztsim

#endif  // ZTSIM_MEDIA_STORE_H
