// Placeholder translation unit for a block that has no sources yet.
