# Sources of src/theme
