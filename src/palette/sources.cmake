# Sources of src/palette
