// The database engine's file access, put under the platform's file layer: a SQLite VFS that
// lets the layer's fault plan decide every open, read, write, truncate, sync, lock and delete
// before handing it to the engine's own VFS, so a database save can be cut at any operation
// as every other save of a user's file can.
#pragma once

// The name of the VFS to open user databases with (registered on the first call, never as
// the default); null when it could not be registered, where the engine's default serves.
const char* JetFileLayerVfs();
