dx_add_test_dir(IFC IfcModel)
