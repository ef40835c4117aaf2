# Velmor parameter file
