# cmake -DDIR=folder -P list-files.cmake: writes folder/files.json, the
# sorted list of every file below the folder, so that a page can fetch a
# whole puppet over HTTP (static servers do not list folders).
file(GLOB_RECURSE files RELATIVE ${DIR} ${DIR}/*)
list(REMOVE_ITEM files files.json)
list(SORT files)
set(json "")
foreach(f ${files})
    if(json)
        string(APPEND json ",\n")
    endif()
    string(APPEND json "  \"${f}\"")
endforeach()
file(WRITE ${DIR}/files.json "[\n${json}\n]\n")
