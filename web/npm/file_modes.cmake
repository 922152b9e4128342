# Gives every file under FOLDER mode 644 (cmake -DFOLDER=... -P file_modes.cmake).
file(GLOB_RECURSE files LIST_DIRECTORIES false "${FOLDER}/*")
file(CHMOD ${files} FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
